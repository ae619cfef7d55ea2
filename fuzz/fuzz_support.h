// Shared set-up of the fuzz targets: a private folder for the files a target writes, and a desktop whose
// documents folder and TEMP lead nowhere, so that the module's log lines cost no disk while a target runs
// for hours. Called once from LLVMFuzzerInitialize, on libFuzzer's thread.
#ifndef XPLUG_FUZZ_FUZZ_SUPPORT_H
#define XPLUG_FUZZ_FUZZ_SUPPORT_H

#include <string>

namespace xplug::fuzz {

// Prepares the process; returns the private folder (created, removed by no one: it lives in /tmp).
std::string prepareProcess();

}  // namespace xplug::fuzz

#endif  // XPLUG_FUZZ_FUZZ_SUPPORT_H
