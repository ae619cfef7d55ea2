package com.kelvo.xplug.types;

/**
 * A four-character code as FileMaker labels container streams and plug-ins with ("JPEG", "FNAM",
 * "SIZE"). Immutable; any thread. The host packs each character into one byte, so only the characters
 * U+0001 to U+007F are accepted: any other character would not survive the trip to the host unchanged.
 */
public final class QuadChar {
    private final String code;

    /**
     * @throws IllegalArgumentException unless the text is exactly four characters between U+0001 and
     *         U+007F
     */
    public QuadChar(String code) {
        if (code == null) {
            throw new NullPointerException("code");
        }
        if (!isValid(code)) {
            throw new IllegalArgumentException(
                    "A four-character code has exactly four characters from U+0001 to U+007F: \"" + code + "\"");
        }
        this.code = code;
    }

    /** The code of a text, as {@link #QuadChar(String)} accepts it. */
    public static QuadChar of(String code) {
        return new QuadChar(code);
    }

    /** Whether {@link #QuadChar(String)} would accept the text. */
    public static boolean isValid(String code) {
        if (code == null || code.length() != 4) {
            return false;
        }
        for (int i = 0; i < 4; i++) {
            char c = code.charAt(i);
            if (c == 0 || c > 0x7F) {
                return false;
            }
        }
        return true;
    }

    /** The code as one 32-bit value, first character in the most significant byte. */
    public int toInt() {
        return (code.charAt(0) << 24) | (code.charAt(1) << 16) | (code.charAt(2) << 8) | code.charAt(3);
    }

    /** The code of a 32-bit value, first character in the most significant byte. */
    public static QuadChar fromInt(int value) {
        char[] characters = {(char) ((value >>> 24) & 0xFF), (char) ((value >>> 16) & 0xFF),
                             (char) ((value >>> 8) & 0xFF), (char) (value & 0xFF)};
        return new QuadChar(new String(characters));
    }

    @Override
    public String toString() {
        return code;
    }

    @Override
    public boolean equals(Object other) {
        return other instanceof QuadChar && ((QuadChar) other).code.equals(code);
    }

    @Override
    public int hashCode() {
        return code.hashCode();
    }
}
