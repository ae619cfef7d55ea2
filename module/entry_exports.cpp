// The loadable module is xplug_core linked whole; this unit only gives the module target a source of
// its own. Every export (FMExternCallProc and the JNI natives) is defined in xplug_core.
