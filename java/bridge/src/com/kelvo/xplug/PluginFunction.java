package com.kelvo.xplug;

import com.kelvo.xplug.types.FMData;

/**
 * The Java body of one calculation function. Runs on the thread that evaluates the calculation while
 * FileMaker waits; the handles it is given are valid only during the call.
 */
@FunctionalInterface
public interface PluginFunction {
    /**
     * Computes the function's result into {@code result}.
     *
     * @return 0 for success, otherwise the FileMaker error code of the failure
     * @throws PluginException to fail with the exception's code; any other exception fails with -1
     */
    short invoke(FMData[] parameters, FMData result, PluginContext context) throws Exception;
}
