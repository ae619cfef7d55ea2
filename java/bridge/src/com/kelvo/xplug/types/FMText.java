package com.kelvo.xplug.types;

/**
 * A FileMaker text, with character styles on ranges of it. Positions and lengths count UTF-16 units.
 * Valid only during the function call that produced it, on the thread of that call.
 */
public final class FMText {
    /** A count that reaches to the end of the text. */
    public static final long Size_End = -1;

    // Text crosses to and from the host in pieces of this many units, so that a long text never needs
    // a second copy of its whole length on either side of the boundary.
    static final int CHUNK = 8192;

    private long cToken;

    public FMText(long token) {
        this.cToken = token;
    }

    /**
     * A new text holding every unit of a string, U+0000 included; it lives until the current function
     * call returns. Null makes an empty text.
     */
    public static FMText create(String text) {
        FMText result = createEmpty();
        if (text != null) {
            result.append(text);
        }
        return result;
    }

    /** A new, empty text; it lives until the current function call returns. */
    public static FMText createEmpty() {
        FMText result = new FMText(0);
        result.cToken = result._createEmptyText();
        return result;
    }

    public long getToken() {
        return cToken;
    }

    /** The length in UTF-16 units. */
    public long length() {
        return _getTextLength(cToken);
    }

    /** Appends every unit of a string, U+0000 included. */
    public void append(String text) {
        if (text == null) {
            throw new NullPointerException("text");
        }
        int length = text.length();
        if (length == 0) {
            return;
        }
        char[] chunk = new char[Math.min(length, CHUNK)];
        for (int start = 0; start < length; start += chunk.length) {
            int count = Math.min(chunk.length, length - start);
            text.getChars(start, start + count, chunk, 0);
            _appendCharArray(cToken, chunk, 0, count);
        }
    }

    /** Appends {@code count} units of {@code characters} from {@code offset} on. */
    public void append(char[] characters, int offset, int count) {
        checkRange(characters, offset, count);
        if (count == 0) {
            return;
        }
        if (characters.length <= CHUNK) {
            _appendCharArray(cToken, characters, offset, count);
            return;
        }
        // The native copies the whole Java array in and out; a small scratch array keeps that cheap.
        char[] chunk = new char[CHUNK];
        for (int done = 0; done < count; done += CHUNK) {
            int piece = Math.min(CHUNK, count - done);
            System.arraycopy(characters, offset + done, chunk, 0, piece);
            _appendCharArray(cToken, chunk, 0, piece);
        }
    }

    /** Appends another text, styles included. */
    public void appendText(FMText other) {
        if (other == null) {
            throw new NullPointerException("other");
        }
        jni_appendText(cToken, other.cToken);
    }

    /** Copies the text, styles included, into a data value (native type text). */
    public void writeToData(FMData data) {
        if (data == null) {
            throw new NullPointerException("data");
        }
        _writeToData(cToken, data.getToken());
    }

    /**
     * Reads {@code count} units from text position {@code position} into {@code target} from
     * {@code offset} on.
     *
     * @throws IndexOutOfBoundsException when the range lies outside the array or the text
     */
    public void getCharacters(long position, char[] target, int offset, int count) {
        checkRange(target, offset, count);
        if (position < 0 || position + count > length()) {
            throw new IndexOutOfBoundsException(
                    "Units " + position + " to " + (position + count) + " are not inside a text of " + length());
        }
        if (count == 0) {
            return;
        }
        if (target.length <= CHUNK) {
            _getCharArray(cToken, position, target, offset, count);
            return;
        }
        // As in append: the scratch array keeps the native's copy of the array small.
        char[] chunk = new char[Math.min(count, CHUNK)];
        for (int done = 0; done < count; done += chunk.length) {
            int piece = Math.min(chunk.length, count - done);
            _getCharArray(cToken, position + done, chunk, 0, piece);
            System.arraycopy(chunk, 0, target, offset + done, piece);
        }
    }

    /** The whole text as a string, U+0000 included. */
    public String getAsString() {
        long size = length();
        if (size > Integer.MAX_VALUE) {
            throw new IllegalStateException("A text of " + size + " units does not fit in a Java string");
        }
        int length = (int) size;
        if (length == 0) {
            return "";
        }
        char[] chunk = new char[Math.min(length, CHUNK)];
        StringBuilder text = new StringBuilder(length);
        for (int done = 0; done < length; done += chunk.length) {
            int piece = Math.min(chunk.length, length - done);
            _getCharArray(cToken, done, chunk, 0, piece);
            text.append(chunk, 0, piece);
        }
        return text.toString();
    }

    /** The text's units from {@code start} up to {@code end}, as a string. */
    public String substring(long start, long end) {
        if (start < 0 || end < start || end - start > Integer.MAX_VALUE) {
            throw new IndexOutOfBoundsException("No range " + start + " to " + end);
        }
        char[] characters = new char[(int) (end - start)];
        getCharacters(start, characters, 0, characters.length);
        return new String(characters);
    }

    /**
     * Sets a style on {@code count} units from {@code position} on; {@link #Size_End} reaches to the
     * end of the text.
     */
    public void setStyle(FMCharacterStyle style, long position, long count) {
        if (style == null) {
            throw new NullPointerException("style");
        }
        if (position < 0 || count < Size_End) {
            throw new IndexOutOfBoundsException("No range of " + count + " units at " + position);
        }
        jni_setStyle(cToken, style.getToken(), position, count);
    }

    /** A new style object holding the style of the unit at {@code position}. */
    public FMCharacterStyle getStyle(long position) {
        if (position < 0) {
            throw new IndexOutOfBoundsException("No unit at " + position);
        }
        return new FMCharacterStyle(jni_getStyle(cToken, position));
    }

    /** A new style object holding the text's default style. */
    public FMCharacterStyle getDefaultStyle() {
        return new FMCharacterStyle(jni_getDefaultStyle(cToken));
    }

    /** The text's contents; same as {@link #getAsString()}. */
    @Override
    public String toString() {
        return getAsString();
    }

    private static void checkRange(char[] characters, int offset, int count) {
        if (characters == null) {
            throw new NullPointerException("characters");
        }
        if (offset < 0 || count < 0 || offset > characters.length - count) {
            throw new IndexOutOfBoundsException(
                    "Offset " + offset + " and count " + count + " do not fit an array of " + characters.length);
        }
    }

    private native long _createText(String text);
    private native long _createEmptyText();
    private native void _appendCharArray(long text, char[] characters, int offset, int count);
    private native void _writeToData(long text, long data);
    private native void jni_appendText(long text, long other);
    private native void jni_setStyle(long text, long style, long position, long count);
    private native long jni_getStyle(long text, long position);
    private native long jni_getDefaultStyle(long text);
    private native long _getTextLength(long text);
    private native void _getCharArray(long text, long position, char[] target, int offset, int count);
}
