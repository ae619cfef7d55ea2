package com.kelvo.xplug.types;

/**
 * A FileMaker character style: font, face, size and color. FileMaker does not report a style's color
 * back, so the channels last set are kept here. Valid only during the function call that produced it.
 */
public final class FMCharacterStyle {
    public static final int Face_Plain = 0;
    public static final int Face_Strikethrough = 1;
    public static final int Face_SmallCaps = 2;
    public static final int Face_Superscript = 4;
    public static final int Face_Subscript = 8;
    public static final int Face_Uppercase = 16;
    public static final int Face_Lowercase = 32;
    public static final int Face_Titlecase = 48;
    public static final int Face_WordUnderline = 64;
    public static final int Face_DoubleUnderline = 128;
    public static final int Face_Bold = 256;
    public static final int Face_Italic = 512;
    public static final int Face_Underline = 1024;
    public static final int Face_Outline = 2048;
    public static final int Face_Shadow = 4096;
    public static final int Face_Condense = 8192;
    public static final int Face_Extend = 16384;
    public static final int Face_AllStyles = 32767;

    private long cToken;
    private int red;
    private int green;
    private int blue;
    private int alpha = 255;

    public FMCharacterStyle(long token) {
        this.cToken = token;
    }

    /** A new style; it lives until the current function call returns. */
    public static FMCharacterStyle create() {
        FMCharacterStyle style = new FMCharacterStyle(0);
        style.cToken = style._createCharacterStyle();
        return style;
    }

    public long getToken() {
        return cToken;
    }

    public void setFace(int face) {
        jni_setface(cToken, face);
    }

    public int getFace() {
        return jni_getFace(cToken);
    }

    public void setFontID(int font) {
        jni_setFontID(cToken, font);
    }

    public int getFontID() {
        return jni_getFontID(cToken);
    }

    public void setFontSize(int size) {
        jni_setFontSize(cToken, size);
    }

    public int getFontSize() {
        return jni_getFontSize(cToken);
    }

    /** Channels 0 to 255; only the low 8 bits of each reach FileMaker. */
    public void setColor(int red, int green, int blue, int alpha) {
        jni_setColor(cToken, red, green, blue, alpha);
        this.red = red & 0xFF;
        this.green = green & 0xFF;
        this.blue = blue & 0xFF;
        this.alpha = alpha & 0xFF;
    }

    public int getRed() {
        return red;
    }

    public int getGreen() {
        return green;
    }

    public int getBlue() {
        return blue;
    }

    public int getAlpha() {
        return alpha;
    }

    private native long _createCharacterStyle();
    private native void jni_setface(long style, int face);
    private native void jni_setFontID(long style, int font);
    private native void jni_setFontSize(long style, int size);
    private native void jni_setColor(long style, int red, int green, int blue, int alpha);
    private native int jni_getFace(long style);
    private native int jni_getFontID(long style);
    private native int jni_getFontSize(long style);
}
