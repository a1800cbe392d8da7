// Fontconfig and Pango keep their font caches for the whole process, partly on threads of their
// own, and cannot free them safely at exit; the sanitizer build's leak check is told so, as for
// the drawing tests. Leaks of the toolkit's own code are still reported. Linked into the programs
// that draw text (target tarnwick_font_cache_leak_suppressions).
extern "C" const char* __lsan_default_suppressions() {
  return "leak:libfontconfig.so\n"
         "leak:libpangoft2-1.0.so\n";
}
