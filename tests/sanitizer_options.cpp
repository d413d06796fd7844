// Sanitizer settings of the unit-test program.
//
// The leak checker of this compiler records each dynamic TLS block it sees
// through __tls_get_addr, and guesses the size of a block that starts 16
// bytes into a page from a header an old C library put before it. The C
// library here puts none there, so a GL driver's TLS block that happens to
// land at that offset gets a made-up range, and the leak check at exit
// crashes scanning it ("Tracer caught signal 11"), depending only on where
// the heap happens to put that block. Without the interception the blocks
// are still scanned: they are heap blocks the thread's TLS points to.
#if defined(__SANITIZE_ADDRESS__)
extern "C" const char* __asan_default_options() { return "intercept_tls_get_addr=0"; }
#endif
