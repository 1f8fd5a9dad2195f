/* A plug-in whose installation returns something other than success. */
int kvMain(void) { return 0; }
