package com.kelvo.xplug;

/** A failure that carries a FileMaker error code back to FileMaker. */
public class PluginException extends Exception {
    private static final long serialVersionUID = 1L;

    private final short code;

    public PluginException(short code, String message) {
        super(message);
        this.code = code;
    }

    public PluginException(short code, String message, Throwable cause) {
        super(message, cause);
        this.code = code;
    }

    /** The FileMaker error code; never 0. */
    public short getCode() {
        return code == 0 ? -1 : code;
    }
}
