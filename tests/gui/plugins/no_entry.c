/* A library that is no plug-in: it exports no kvMain. */
int kvSomethingElse(void) { return 15; }
