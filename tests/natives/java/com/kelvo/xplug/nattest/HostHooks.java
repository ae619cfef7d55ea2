package com.kelvo.xplug.nattest;

/**
 * The simulated host's evaluation, reached from Java the way a plug-in function evaluates a calculation
 * in FileMaker: through a small native library of the tests, named by XPLUG_NATTEST_HOOKS.
 */
final class HostHooks {
    static {
        System.load(System.getenv("XPLUG_NATTEST_HOOKS"));
    }

    private HostHooks() {}

    /** Evaluates the expression into the data value; returns FileMaker's error code. */
    static native short evaluate(String expression, long result);
}
