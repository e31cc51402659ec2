/* A DLL that a test plants under the extraction library's name; it exports one marker. */
__declspec(dllexport) int QzPlanted(void) {
  return 1;
}
