// fontconfig keeps a few bytes from its first configuration load for the life of the process
// (a plain FcInit + FcFontSort program shows the same 288 bytes); the library can't release
// them with FcFini because the desktop window shares fontconfig. Tell LeakSanitizer so.
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig.so\n"; }
