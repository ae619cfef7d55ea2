// A small loadable library that the archive tests load under a module's file name, so that the module
// can find that name again from the instance handle.
extern "C" __attribute__((visibility("default"))) int xplugArchiveTestLibrary() {
  return 1;
}
