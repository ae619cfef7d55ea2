# The 32-bit Linux build: g++ -m32 with Debian's i386 libraries and the i386 JDK 17 as the VM the module
# loads. Its programs run under qemu-i386 (this kernel may run no 32-bit code), which CTest and the build's
# own tool steps use through CMAKE_CROSSCOMPILING_EMULATOR. Java is still compiled by the build
# machine's JDK: class files do not depend on the word size.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(CMAKE_LIBRARY_ARCHITECTURE i386-linux-gnu)

set(CMAKE_C_COMPILER gcc)
set(CMAKE_CXX_COMPILER g++)
set(CMAKE_C_FLAGS_INIT "-m32")
set(CMAKE_CXX_FLAGS_INIT "-m32")
set(CMAKE_EXE_LINKER_FLAGS_INIT "-m32")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-m32")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-m32")

# Libraries and packages come from the i386 multiarch folders only; programs (javac, jar, pkg-config)
# from the build machine.
set(CMAKE_FIND_ROOT_PATH /usr/lib/i386-linux-gnu /usr)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE BOTH)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
set(ENV{PKG_CONFIG_LIBDIR} /usr/lib/i386-linux-gnu/pkgconfig:/usr/share/pkgconfig)

# qemu's default processor offers AVX, and the 32-bit VM's AVX code crashes under Debian 12's qemu 7.2
# while the VM sets itself up (SIGSEGV in StubRoutines::initialize1); without AVX it runs.
find_program(XPLUG_QEMU_I386 qemu-i386 REQUIRED)
set(CMAKE_CROSSCOMPILING_EMULATOR ${XPLUG_QEMU_I386} -cpu max,-avx -L /)
# The build's own xplug-jar and xplug-pack run through it too (cmake/XplugPlugin.cmake).
set(XPLUG_EMULATOR_RUNS_TOOLS ON)

set(XPLUG_JAVA_HOME /usr/lib/jvm/java-17-openjdk-i386 CACHE PATH "JDK whose VM and jni.h the build uses")
set(XPLUG_BUILD_JAVA_HOME /usr/lib/jvm/java-17-openjdk-amd64 CACHE PATH "JDK whose tools run during the build")

# The VM's compiled code does not survive qemu-user for long: with JIT-compiled frames, ten of the 342
# tests died inside the VM in one run (stack walks of compiled frames, "must be able to deduce nmethod"). The
# interpreter alone is stable there, and faster too, since compiling under emulation costs more than it
# saves in tests this short.
set(XPLUG_TEST_JAVA_OPTIONS "-Xint" CACHE STRING "Java options every test's VM gets")
