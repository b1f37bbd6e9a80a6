// The library's entry point. Loading and unloading need no work beyond the
// static initialisation of the two registries, so it only reports success.
#if defined(_WIN32)
extern "C" int __stdcall DllMain(void* /*module*/, unsigned long /*reason*/,
                                 void* /*reserved*/) {
  return 1;
}
#endif
