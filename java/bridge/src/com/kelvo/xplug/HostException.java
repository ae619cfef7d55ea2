package com.kelvo.xplug;

/**
 * FileMaker reported a failure of one of its operations while a native method worked for Java (an
 * invalid object or range, for example). The module raises it; code is FileMaker's error code (2 for a
 * general failure). Running out of memory in FileMaker is an {@link OutOfMemoryError} instead.
 */
public class HostException extends RuntimeException {
    private static final long serialVersionUID = 1L;

    private final int code;

    public HostException(int code) {
        super("FileMaker reported error " + code);
        this.code = code;
    }

    /** FileMaker's error code. */
    public int getCode() {
        return code;
    }
}
