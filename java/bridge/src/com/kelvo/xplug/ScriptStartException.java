package com.kelvo.xplug;

/** FileMaker could not start a script: its error code, and the file and script that were asked for. */
public class ScriptStartException extends PluginException {
    private static final long serialVersionUID = 1L;

    private final String fileName;
    private final String scriptName;

    public ScriptStartException(int code, String fileName, String scriptName) {
        super(code, "Starting script \"" + scriptName + "\" of file \"" + fileName + "\" failed with error " + code);
        this.fileName = fileName;
        this.scriptName = scriptName;
    }

    public String getFileName() {
        return fileName;
    }

    public String getScriptName() {
        return scriptName;
    }
}
