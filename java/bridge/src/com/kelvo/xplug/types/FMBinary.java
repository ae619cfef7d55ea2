package com.kelvo.xplug.types;

/**
 * FileMaker container contents: streams of bytes, each labelled with a four-character type code. Valid
 * only during the function call that produced it, on the thread of that call.
 */
public final class FMBinary {
    private long cToken;

    public FMBinary(long token) {
        this.cToken = token;
    }

    /** New, empty binary data; it lives until the current function call returns. */
    public static FMBinary create() {
        FMBinary binary = new FMBinary(0);
        binary.cToken = binary._createBinary();
        return binary;
    }

    public long getToken() {
        return cToken;
    }

    public int getStreamCount() {
        return _getStreamCount(cToken);
    }

    public long getTotalSize() {
        return _getTotalSize(cToken);
    }

    public int getSize(int stream) {
        return _getSize(cToken, stream);
    }

    public String getType(int stream) {
        return _getTypeForIndex(cToken, stream);
    }

    /** The whole of one stream's bytes. */
    public byte[] getData(int stream) {
        byte[] bytes = new byte[getSize(stream)];
        _getData(cToken, stream, 0, bytes.length, bytes);
        return bytes;
    }

    /** The stream's bytes read as UTF-16 text. */
    public String getUnicodeString(int stream) {
        return _getUnicodeString(cToken, stream);
    }

    /** Adds a stream; the type must be exactly four characters. */
    public void addStream(String type, byte[] data) {
        checkType(type);
        if (data == null) {
            throw new NullPointerException("data");
        }
        _addStream(cToken, type, data.length, data);
    }

    public void removeStream(String type) {
        checkType(type);
        _removeStream(cToken, type);
    }

    public void removeAllStreams() {
        _removeAllStreams(cToken);
    }

    private static void checkType(String type) {
        if (type == null || type.length() != 4) {
            throw new IllegalArgumentException("A stream type has exactly four characters: " + type);
        }
    }

    private native long _createBinary();
    private native int _getStreamCount(long binary);
    private native long _getTotalSize(long binary);
    private native int _getSize(long binary, int stream);
    private native String _getTypeForIndex(long binary, int stream);
    private native void _getData(long binary, int stream, int offset, int count, byte[] target);
    private native String _getUnicodeString(long binary, int stream);
    private native void _addStream(long binary, String type, int count, byte[] source);
    private native void _removeStream(long binary, String type);
    private native void _removeAllStreams(long binary);
}
