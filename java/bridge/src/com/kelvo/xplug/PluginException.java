package com.kelvo.xplug;

/**
 * A failure that carries a FileMaker error code back to FileMaker. A function throws it to end with a
 * code of its choice: FileMaker receives the code, and the log records one line with the message but
 * no stack trace, since the function chose this answer.
 */
public class PluginException extends Exception {
    private static final long serialVersionUID = 1L;

    private final short code;

    /** A failure with FileMaker error code {@code code} (0 becomes -1, which means no particular code). */
    public PluginException(int code) {
        this(code, "Error " + code);
    }

    public PluginException(int code, String message) {
        super(message);
        this.code = toCode(code);
    }

    public PluginException(int code, String message, Throwable cause) {
        super(message, cause);
        this.code = toCode(code);
    }

    /** The FileMaker error code; never 0. */
    public short getCode() {
        return code;
    }

    private static short toCode(int code) {
        if (code < Short.MIN_VALUE || code > Short.MAX_VALUE) {
            throw new IllegalArgumentException("FileMaker error codes are 16-bit numbers: " + code);
        }
        return code == 0 ? PluginBridge.FAILURE : (short) code;
    }
}
