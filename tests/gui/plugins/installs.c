/* A plug-in whose installation succeeds. */
int kvMain(void) { return 15; }
