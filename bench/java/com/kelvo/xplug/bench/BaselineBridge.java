package com.kelvo.xplug.bench;

/**
 * The least a Java function can cost: a method with the bridge's doFunction signature that returns at
 * once. The benchmarks upcall it through JNI to weigh the relay's own work against the bare upcall.
 */
public final class BaselineBridge {
    // The id its jar's plugin-options starts with, which xplug-jar looks for in the class named by
    // pluginClassName.
    static final String PLUGIN_ID = "XPBB";

    public BaselineBridge() {
    }

    public short doFunction(short functionId, long[] parameters, long result, boolean unused, long startScript,
                            long environment) {
        return 0;
    }
}
