package com.kelvo.xplug;

import com.kelvo.xplug.types.FMData;

/**
 * What a function call may ask of FileMaker besides its parameters: evaluating a calculation expression
 * and starting a script. Valid on the calling thread for the duration of the call that made it.
 */
public final class PluginContext {
    private final PluginBridge bridge;
    private final long cStartScript;
    private final long cCurrentEnv;
    private final long envCallback;
    // FileMaker's thread: the one that called the function this context belongs to.
    private final Thread fileMakerThread;

    PluginContext(PluginBridge bridge, long cStartScript, long cCurrentEnv, long envCallback) {
        this.bridge = bridge;
        this.cStartScript = cStartScript;
        this.cCurrentEnv = cCurrentEnv;
        this.envCallback = envCallback;
        this.fileMakerThread = Thread.currentThread();
    }

    /** The bridge: the plug-in's manifest values, paths and log. */
    public PluginBridge getBridge() {
        return bridge;
    }

    /**
     * Evaluates a calculation expression in the context of the current call (or, without one, in
     * FileMaker's current context). The expression may call the plug-in's own functions. FileMaker
     * expects evaluations on its own thread; from another thread the evaluation is logged and goes on.
     *
     * @return the result, valid until the current call returns
     * @throws PluginException with FileMaker's error code when the evaluation fails
     */
    public FMData evaluateExpression(String expression) throws PluginException {
        if (expression == null) {
            throw new NullPointerException("expression");
        }
        if (Thread.currentThread() != fileMakerThread) {
            bridge.log("evaluateExpression called from non-FileMaker thread: " + Thread.currentThread().getName());
        }
        short code = _evaluateExpression(expression, cCurrentEnv, envCallback, cCurrentEnv == 0);
        if (code != 0) {
            throw new PluginException(code, "Evaluating \"" + expression + "\" failed with error " + code);
        }
        return new FMData(_getExpressionResult());
    }

    /**
     * Starts a FileMaker script.
     *
     * @param control one of {@link PluginBridge#SCRIPT_HALT} and the other script control values
     * @param parameter the script parameter, or null for none
     * @throws ScriptStartException with FileMaker's error code, the file and the script when the script
     *     could not be started
     */
    public void triggerScript(String fileName, String scriptName, int control, FMData parameter)
            throws PluginException {
        if (fileName == null) {
            throw new NullPointerException("fileName");
        }
        if (scriptName == null) {
            throw new NullPointerException("scriptName");
        }
        short code = _triggerScript(fileName, scriptName, control, parameter == null ? 0 : parameter.getToken(),
                cStartScript);
        if (code != 0) {
            throw new ScriptStartException(code, fileName, scriptName);
        }
    }

    private native short _triggerScript(String fileName, String scriptName, int control, long parameter,
                                        long startScript);

    private native short _evaluateExpression(String expression, long environment, long envCallback,
                                             boolean useCurrentEnvironment);

    private native long _getExpressionResult();
}
