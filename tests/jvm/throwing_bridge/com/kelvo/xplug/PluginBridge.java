package com.kelvo.xplug;

/**
 * A stand-in bridge for the VM hosting tests whose host-event methods throw, so that the module's own
 * handling of an exception left pending by a bridge call can be seen.
 */
public final class PluginBridge {
    private static PluginBridge shared;

    public static synchronized PluginBridge sharedInstance(String bundlePathString, String bridgeVersion,
                                                           short applicationType, String logpath) {
        if (shared == null) {
            shared = new PluginBridge();
        }
        return shared;
    }

    public short fmxInit(short apiVersion, String versionString, long instanceID, boolean unsafeCalls,
                         long cStartScript, long cCurrentEnv) {
        throw new IllegalStateException("fmxInit fails");
    }

    public void fmxIdle(short idleState, boolean unsafeCalls, long cStartScript, long cCurrentEnv) {
        throw new IllegalStateException("fmxIdle fails");
    }

    public void fmxShutdown(boolean unsafeCalls, long cStartScript, long cCurrentEnv) {
        throw new IllegalStateException("fmxShutdown fails");
    }

    public void fmxDoAppPreferences(boolean unsafeCalls, long cStartScript, long cCurrentEnv) {
        throw new IllegalStateException("fmxDoAppPreferences fails");
    }
}
