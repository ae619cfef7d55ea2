package com.kelvo.xplug.types;

/**
 * FileMaker container contents: streams of bytes, each labelled with a four-character type. Streams are
 * numbered from 0 in the host's order. Valid only during the function call that produced it, on the
 * thread of that call.
 */
public final class FMBinary {
    // Reads into a caller's buffer at an offset go through a scratch array of at most this many bytes.
    static final int CHUNK = 65536;

    private long cToken;

    public FMBinary(long token) {
        this.cToken = token;
    }

    /** New, empty container contents; they live until the current function call returns. */
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

    /** The bytes of all streams together. */
    public long getTotalSize() {
        return _getTotalSize(cToken);
    }

    /** The number of bytes of stream {@code index}. */
    public int getSize(int index) {
        checkIndex(index);
        return _getSize(cToken, index);
    }

    /**
     * The type of stream {@code index} as the host reports it: normally four characters, shorter when
     * the host's code holds a zero byte.
     */
    public String getTypeName(int index) {
        checkIndex(index);
        return _getTypeForIndex(cToken, index);
    }

    /**
     * The type of stream {@code index}.
     *
     * @throws IllegalStateException when the host's code is not four characters from U+0001 to U+007F
     */
    public QuadChar getType(int index) {
        String name = getTypeName(index);
        if (!QuadChar.isValid(name)) {
            throw new IllegalStateException("Stream " + index + " has the type \"" + name
                                            + "\", which is no four-character code");
        }
        return new QuadChar(name);
    }

    /** The index of the stream of a type, or -1 when there is none. */
    public int indexOf(QuadChar type) {
        if (type == null) {
            throw new NullPointerException("type");
        }
        String wanted = type.toString();
        int count = getStreamCount();
        for (int i = 0; i < count; i++) {
            if (wanted.equals(_getTypeForIndex(cToken, i))) {
                return i;
            }
        }
        return -1;
    }

    /**
     * Reads {@code count} bytes of stream {@code index}, from byte {@code position} of the stream, into
     * {@code target} from {@code offset} on.
     *
     * @throws IndexOutOfBoundsException when the range lies outside the array or the stream
     */
    public void getData(int index, int position, byte[] target, int offset, int count) {
        if (target == null) {
            throw new NullPointerException("target");
        }
        if (offset < 0 || count < 0 || offset > target.length - count) {
            throw new IndexOutOfBoundsException(
                    "Offset " + offset + " and count " + count + " do not fit an array of " + target.length);
        }
        int size = getSize(index);
        if (position < 0 || position > size - count) {
            throw new IndexOutOfBoundsException(
                    "Bytes " + position + " to " + ((long) position + count) + " are not inside a stream of " + size);
        }
        if (count == 0) {
            return;
        }
        // The native always writes from element 0 and copies the whole array in and out, so the
        // caller's array is handed over only when it starts there and is small.
        if (offset == 0 && target.length <= CHUNK) {
            _getData(cToken, index, position, count, target);
            return;
        }
        byte[] chunk = new byte[Math.min(count, CHUNK)];
        for (int done = 0; done < count; done += chunk.length) {
            int piece = Math.min(chunk.length, count - done);
            _getData(cToken, index, position + done, piece, chunk);
            System.arraycopy(chunk, 0, target, offset + done, piece);
        }
    }

    /** All bytes of stream {@code index}. */
    public byte[] getData(int index) {
        byte[] bytes = new byte[getSize(index)];
        getData(index, 0, bytes, 0, bytes.length);
        return bytes;
    }

    /** All bytes of the stream of a type, or null when there is none. */
    public byte[] getData(QuadChar type) {
        int index = indexOf(type);
        return index < 0 ? null : getData(index);
    }

    /** The bytes of stream {@code index} read as UTF-16 text in the machine's byte order. */
    public String getUnicodeString(int index) {
        checkIndex(index);
        return _getUnicodeString(cToken, index);
    }

    /** Adds a stream of a type with a copy of the bytes, replacing a stream of that type if there is one. */
    public void addStream(QuadChar type, byte[] data) {
        if (type == null) {
            throw new NullPointerException("type");
        }
        if (data == null) {
            throw new NullPointerException("data");
        }
        // The host would keep both streams; a container holds one stream per type.
        _removeStream(cToken, type.toString());
        _addStream(cToken, type.toString(), data.length, data);
    }

    /** Removes the stream of a type; nothing happens when there is none. */
    public void removeStream(QuadChar type) {
        if (type == null) {
            throw new NullPointerException("type");
        }
        _removeStream(cToken, type.toString());
    }

    public void removeAllStreams() {
        _removeAllStreams(cToken);
    }

    private void checkIndex(int index) {
        int count = getStreamCount();
        if (index < 0 || index >= count) {
            throw new IndexOutOfBoundsException("No stream " + index + " among " + count);
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
