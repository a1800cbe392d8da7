// Fontconfig and Pango keep their font caches for the whole process, partly on threads of their
// own, and cannot free them safely at exit; the leak check of the sanitizer build is told so.
// Leaks of the toolkit's own code are still reported.
extern "C" const char* __lsan_default_suppressions() {
  return "leak:libfontconfig.so\n"
         "leak:libpangoft2-1.0.so\n";
}
