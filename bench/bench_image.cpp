// The image of the module file that the extraction benchmark packs a large jar onto: a loadable
// library, so that the module finds the file's name again from the instance handle as it does at
// start-up.
extern "C" __attribute__((visibility("default"))) int xplugBenchImage() {
  return 1;
}
