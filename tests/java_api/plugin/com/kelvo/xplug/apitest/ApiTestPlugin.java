package com.kelvo.xplug.apitest;

import com.kelvo.xplug.Plugin;
import com.kelvo.xplug.XFunction;
import com.kelvo.xplug.types.FMBinary;
import com.kelvo.xplug.types.FMCharacterStyle;
import com.kelvo.xplug.types.FMData;
import com.kelvo.xplug.types.FMText;
import com.kelvo.xplug.types.QuadChar;
import java.math.BigDecimal;
import java.time.LocalDate;
import java.time.LocalTime;
import java.util.Arrays;
import java.util.Date;

/**
 * Functions that expose the value types and conversions to the relay tests, one behaviour each; the
 * tests hand them host-made values and read the results as the host sees them.
 */
public class ApiTestPlugin implements Plugin {
    @Override
    public String pluginId() {
        return "APIT";
    }

    @XFunction(name = "T_Long")
    public long asLong(FMData value) {
        return value.getAsLong();
    }

    @XFunction(name = "T_Int")
    public int asInt(int value) {
        return value;
    }

    @XFunction(name = "T_Decimal")
    public BigDecimal asDecimal(BigDecimal value) {
        return value;
    }

    @XFunction(name = "T_Boxes")
    public String boxes(Integer whole, Double fraction, Boolean truth, BigDecimal exact) {
        return whole + "|" + fraction + "|" + truth + "|" + exact;
    }

    @XFunction(name = "T_Bool")
    public boolean asBoolean(boolean value) {
        return value;
    }

    @XFunction(name = "T_Optional", min = 1)
    public String optional(String first, String second, int third) {
        return first + "|" + second + "|" + third;
    }

    @XFunction(name = "T_Rest")
    public String rest(String first, Long... numbers) {
        return first + Arrays.toString(numbers);
    }

    /** The text rebuilt from its string form: every unit through the chunked reads and writes. */
    @XFunction(name = "T_Rebuild")
    public FMText rebuild(FMText text) {
        return FMText.create(text.getAsString());
    }

    /** The text rebuilt from a char array of {@code padding} extra units on both sides. */
    @XFunction(name = "T_RebuildFromArray")
    public FMText rebuildFromArray(FMText text, int padding) {
        String source = text.getAsString();
        char[] characters = new char[source.length() + 2 * padding];
        Arrays.fill(characters, '#');
        source.getChars(0, source.length(), characters, padding);
        FMText result = FMText.createEmpty();
        result.append(characters, padding, source.length());
        return result;
    }

    @XFunction(name = "T_Substring")
    public String substring(FMText text, long start, long end) {
        return text.substring(start, end);
    }

    /** Reads {@code count} units at {@code position} into a buffer of '.' at {@code offset}. */
    @XFunction(name = "T_Characters")
    public String characters(FMText text, long position, int offset, int count, int bufferSize) {
        char[] buffer = new char[bufferSize];
        Arrays.fill(buffer, '.');
        text.getCharacters(position, buffer, offset, count);
        return new String(buffer);
    }

    /** The text with a new style (face and a red color) from {@code position} to the end. */
    @XFunction(name = "T_StyleTail")
    public FMText styleTail(FMText text, long position, int face) {
        FMText result = FMText.create(text.getAsString());
        FMCharacterStyle style = FMCharacterStyle.create();
        style.setFace(face);
        style.setColor(300, 0, 0, 255);
        result.setStyle(style, position, FMText.Size_End);
        return result;
    }

    /** The style of the unit at {@code position} and the text's default style, as "font face size". */
    @XFunction(name = "T_StyleInfo")
    public String styleInfo(FMText text, long position) {
        FMCharacterStyle style = text.getStyle(position);
        FMCharacterStyle fallback = text.getDefaultStyle();
        return style.getFontID() + " " + style.getFace() + " " + style.getFontSize() + " / " + fallback.getFontID()
               + " " + fallback.getFace() + " " + fallback.getFontSize();
    }

    /** A new style's parts read back after setting them. */
    @XFunction(name = "T_NewStyle")
    public String newStyle(int font, int face, int size) {
        FMCharacterStyle style = FMCharacterStyle.create();
        style.setFontID(font);
        style.setFace(face);
        style.setFontSize(size);
        style.setColor(-1, 256, 7, 128);
        return style.getFontID() + " " + style.getFace() + " " + style.getFontSize() + " " + style.getRed() + " "
               + style.getGreen() + " " + style.getBlue() + " " + style.getAlpha();
    }

    @XFunction(name = "T_AppendStyled")
    public FMText appendStyled(FMText first, FMText second) {
        FMText result = FMText.createEmpty();
        result.appendText(first);
        result.appendText(second);
        return result;
    }

    /**
     * Reads {@code count} bytes at {@code position} of the stream of {@code type} into a buffer of
     * {@code bufferSize} bytes of 0x55 at {@code offset}; the buffer becomes the one stream "DATA".
     */
    @XFunction(name = "T_Bytes")
    public FMBinary bytes(FMBinary container, String type, int position, int count, int offset, int bufferSize) {
        byte[] buffer = new byte[bufferSize];
        Arrays.fill(buffer, (byte) 0x55);
        container.getData(container.indexOf(QuadChar.of(type)), position, buffer, offset, count);
        FMBinary result = FMBinary.create();
        result.addStream(QuadChar.of("DATA"), buffer);
        return result;
    }

    @XFunction(name = "T_AddStream")
    public FMBinary addStream(FMBinary container, String type, String text) throws Exception {
        container.addStream(QuadChar.of(type), text.getBytes("UTF-8"));
        return container;
    }

    @XFunction(name = "T_RemoveStream")
    public FMBinary removeStream(FMBinary container, String type) {
        container.removeStream(QuadChar.of(type));
        return container;
    }

    @XFunction(name = "T_Copy")
    public FMData copy(FMData value) {
        return value;
    }

    @XFunction(name = "T_CopyMade")
    public FMData copyMade(FMData value) {
        FMData made = FMData.createEmpty();
        value.copyTo(made);
        return made;
    }

    @XFunction(name = "T_Date")
    public Date date(Date value) {
        return value;
    }

    @XFunction(name = "T_Millis")
    public long millis(FMData value) {
        return value.getDateTimeMillis();
    }

    @XFunction(name = "T_LocalDate")
    public LocalDate localDate(LocalDate value) {
        return value;
    }

    @XFunction(name = "T_LocalTime")
    public LocalTime localTime(LocalTime value) {
        return value;
    }
}
