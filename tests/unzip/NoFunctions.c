/* Loads like the extraction library but exports neither of its functions. */
int unzip32_placeholder(void) { return 0; }
