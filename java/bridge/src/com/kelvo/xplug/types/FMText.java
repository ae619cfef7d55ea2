package com.kelvo.xplug.types;

/**
 * A FileMaker text, with character styles on ranges of it. Positions and lengths count UTF-16 units.
 * Valid only during the function call that produced it, on the thread of that call.
 */
public final class FMText {
    /** A count that reaches to the end of the text. */
    public static final long Size_End = -1;

    private long cToken;

    public FMText(long token) {
        this.cToken = token;
    }

    /** A new text holding a string; it lives until the current function call returns. */
    public static FMText create(String text) {
        FMText result = new FMText(0);
        result.cToken = result._createText(text == null ? "" : text);
        return result;
    }

    public static FMText createEmpty() {
        FMText result = new FMText(0);
        result.cToken = result._createEmptyText();
        return result;
    }

    public long getToken() {
        return cToken;
    }

    public long length() {
        return _getTextLength(cToken);
    }

    public void append(FMText other) {
        jni_appendText(cToken, other.cToken);
    }

    public void append(char[] characters, int offset, int count) {
        _appendCharArray(cToken, characters, offset, count);
    }

    /** Copies the text into a data value, as text. */
    public void writeTo(FMData data) {
        _writeToData(cToken, data.getToken());
    }

    /** Reads {@code count} units from {@code position} into {@code target} at {@code offset}. */
    public void getCharacters(long position, char[] target, int offset, int count) {
        _getCharArray(cToken, position, target, offset, count);
    }

    @Override
    public String toString() {
        int size = (int) Math.min(length(), Integer.MAX_VALUE);
        char[] characters = new char[size];
        getCharacters(0, characters, 0, size);
        return new String(characters);
    }

    public void setStyle(FMCharacterStyle style, long position, long count) {
        jni_setStyle(cToken, style.getToken(), position, count);
    }

    public FMCharacterStyle getStyle(long position) {
        return new FMCharacterStyle(jni_getStyle(cToken, position));
    }

    public FMCharacterStyle getDefaultStyle() {
        return new FMCharacterStyle(jni_getDefaultStyle(cToken));
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
