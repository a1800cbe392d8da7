// Fontconfig and Pango keep their font caches for the whole process, partly on threads of their
// own, and cannot free them safely at exit; the sanitizer build's leak check is told so, as for
// the drawing tests, and of Xlib's locale data likewise. Leaks of the toolkit's own code are
// still reported. Linked into the programs that draw text (tarnwick_font_cache_leak_suppressions).
extern "C" const char* __lsan_default_suppressions() {
  // Xlib keeps the locale and input-method data it loads on first use (seen with odd locales).
  return "leak:libfontconfig.so\n"
         "leak:libpangoft2-1.0.so\n"
         "leak:libX11.so\n";
}
