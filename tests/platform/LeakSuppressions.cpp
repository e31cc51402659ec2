// Fontconfig keeps a few small allocations that no pointer reaches at exit; they are the
// library's own and not a fault of the code under test.
extern "C" const char* __lsan_default_suppressions() {
  return "leak:libfontconfig.so\n";
}
