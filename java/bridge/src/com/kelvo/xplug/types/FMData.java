package com.kelvo.xplug.types;

import java.math.BigDecimal;
import java.time.LocalDate;
import java.time.LocalDateTime;
import java.time.LocalTime;
import java.util.Calendar;
import java.util.Date;
import java.util.TimeZone;
import java.util.regex.Pattern;

/**
 * One FileMaker data value: a function parameter, a function's result, an evaluation result or a value
 * made here. Holds the value's handle; valid only during the function call that produced it, on the
 * thread of that call.
 *
 * <p>FileMaker offers a plug-in three ways to write a value: as text, as a timestamp or time, and as
 * container data. Numbers and booleans are therefore written as their text ("42", "0.5", "1"), which
 * FileMaker reads back as the same number wherever a number is expected.
 */
public final class FMData {
    public static final int kDTInvalid = 0;
    public static final int kDTText = 1;
    public static final int kDTNumber = 2;
    public static final int kDTDate = 3;
    public static final int kDTTime = 4;
    public static final int kDTTimeStamp = 5;
    public static final int kDTBinary = 6;
    public static final int kDTBoolean = 7;

    // The form in which a number's text is exact: what FileMaker shows for a number, and what it
    // reads from a text without further interpretation.
    private static final Pattern PLAIN_DECIMAL = Pattern.compile("[-+]?(\\d+\\.?\\d*|\\.\\d+)");
    private static final double INT_LIMIT = 2147483648.0;

    private long cDataToken;

    public FMData(long token) {
        this.cDataToken = token;
    }

    /** A new, empty value that lives until the current function call returns. */
    public static FMData createEmpty() {
        FMData data = new FMData(0);
        data.cDataToken = data._createEmptyData();
        return data;
    }

    public long getToken() {
        return cDataToken;
    }

    /** One of the kDT type codes. */
    public int getNativeType() {
        return _getNativeType(cDataToken);
    }

    public boolean isEmpty() {
        return _isEmpty(cDataToken);
    }

    // ---- Text ---------------------------------------------------------------------------------------

    /** The value as text: numbers, dates and times as FileMaker shows them. */
    public String getAsString() {
        return _getStringData(cDataToken);
    }

    /** Stores text (native type text), in the locale the value already carries. Null stores the empty text. */
    public void setAsString(String text) {
        if (text == null) {
            _setStringData(cDataToken, "");
        } else if (text.indexOf('\u0000') >= 0) {
            // The direct way ends the text at U+0000; a text built unit by unit keeps all of it.
            FMText.create(text).writeToData(this);
        } else {
            _setStringData(cDataToken, text);
        }
    }

    /** The value's own text, styles included: a view that lives as long as this value. */
    public FMText getFMText() {
        return new FMText(_getFMText(cDataToken));
    }

    /** Stores a text with its styles (native type text). */
    public void setFMText(FMText text) {
        if (text == null) {
            throw new NullPointerException("text");
        }
        text.writeToData(this);
    }

    // ---- Numbers ------------------------------------------------------------------------------------

    /** The number as a double; 0 for an empty value or a text without a number. */
    public double getAsDouble() {
        return _getDoubleData(cDataToken);
    }

    /**
     * The number as a whole number, fractions cut off toward zero. Numbers beyond the 32-bit range
     * (which FileMaker's own whole-number conversion cannot carry) are read from the number's exact
     * text; beyond the 64-bit range the result is the low 64 bits.
     */
    public long getAsLong() {
        double approximate = _getDoubleData(cDataToken);
        if (Math.abs(approximate) < INT_LIMIT) {
            return _getLongData(cDataToken);
        }
        BigDecimal exact = getAsBigDecimal();
        return exact != null ? exact.longValue() : (long) approximate;
    }

    /**
     * The number as an int, fractions cut off toward zero.
     *
     * @throws ArithmeticException when the whole number lies outside the int range
     */
    public int getAsInt() {
        long value = getAsLong();
        if (value < Integer.MIN_VALUE || value > Integer.MAX_VALUE) {
            throw new ArithmeticException("The number " + getAsString() + " does not fit in an int");
        }
        return (int) value;
    }

    /**
     * The number, exactly when FileMaker holds it as a plain decimal, otherwise through its double
     * value; null for an empty value.
     */
    public BigDecimal getAsBigDecimal() {
        if (isEmpty()) {
            return null;
        }
        String text = getAsString().trim();
        if (PLAIN_DECIMAL.matcher(text).matches()) {
            return new BigDecimal(text.startsWith("+") ? text.substring(1) : text);
        }
        double value = getAsDouble();
        if (Double.isNaN(value) || Double.isInfinite(value)) {
            return null;
        }
        return BigDecimal.valueOf(value);
    }

    /** FileMaker's truth: a number other than 0 is true; empty values and text without a number are false. */
    public boolean getAsBoolean() {
        double value = getAsDouble();
        return value != 0 && !Double.isNaN(value);
    }

    public void setAsLong(long value) {
        setAsString(Long.toString(value));
    }

    /**
     * Stores a number as its plain decimal text ("0.1", "1000000", never an exponent).
     *
     * @throws IllegalArgumentException for NaN and the infinities, which FileMaker has no number for
     */
    public void setAsDouble(double value) {
        if (Double.isNaN(value) || Double.isInfinite(value)) {
            throw new IllegalArgumentException("FileMaker has no number for " + value);
        }
        setAsBigDecimal(BigDecimal.valueOf(value));
    }

    /** Stores a number as its plain decimal text; null stores the empty text. */
    public void setAsBigDecimal(BigDecimal value) {
        setAsString(value == null ? "" : plainText(value));
    }

    /** Stores 1 for true and 0 for false, as FileMaker's own logical functions do. */
    public void setAsBoolean(boolean value) {
        setAsString(value ? "1" : "0");
    }

    static String plainText(BigDecimal value) {
        if (value.signum() == 0) {
            return "0";
        }
        BigDecimal stripped = value.stripTrailingZeros();
        return (stripped.scale() < 0 ? stripped.setScale(0) : stripped).toPlainString();
    }

    // ---- Dates and times ----------------------------------------------------------------------------

    /** FileMaker's seconds count of the value's timestamp (see {@link HostSeconds}); 0 when empty. */
    public long getHostSeconds() {
        return _getDateTimeValue(cDataToken);
    }

    /**
     * The timestamp as a Java instant in milliseconds, the value's wall-clock time read in the default
     * time zone; 0 when the value is empty.
     */
    public long getDateTimeMillis() {
        return HostSeconds.toJavaMillis(_getDateTimeValue(cDataToken), TimeZone.getDefault());
    }

    /** The timestamp as a Java time in the default time zone, or null when the value is empty. */
    public Date getDateTimeValue() {
        long seconds = _getDateTimeValue(cDataToken);
        return seconds == 0 ? null : new Date(HostSeconds.toJavaMillis(seconds, TimeZone.getDefault()));
    }

    /** Stores a timestamp: the Java time's wall-clock time in the default time zone, to the second. */
    public void setDateTimeValue(Date time) {
        if (time == null) {
            throw new NullPointerException("time");
        }
        Calendar calendar = Calendar.getInstance();
        calendar.setTime(time);
        _setDateValue(cDataToken, calendar.get(Calendar.YEAR), calendar.get(Calendar.MONTH) + 1,
                calendar.get(Calendar.DAY_OF_MONTH), calendar.get(Calendar.HOUR_OF_DAY),
                calendar.get(Calendar.MINUTE), calendar.get(Calendar.SECOND));
    }

    /** The timestamp's wall-clock time, or null when the value is empty. */
    public LocalDateTime getAsLocalDateTime() {
        long seconds = _getDateTimeValue(cDataToken);
        return seconds == 0 ? null : HostSeconds.toLocalDateTime(seconds);
    }

    /** Stores a timestamp with the time's fields, to the second. */
    public void setLocalDateTime(LocalDateTime time) {
        if (time == null) {
            throw new NullPointerException("time");
        }
        _setDateValue(cDataToken, time.getYear(), time.getMonthValue(), time.getDayOfMonth(), time.getHour(),
                time.getMinute(), time.getSecond());
    }

    /** The day of the value's timestamp, or null when the value is empty. */
    public LocalDate getAsLocalDate() {
        long seconds = _getDateTimeValue(cDataToken);
        return seconds == 0 ? null : HostSeconds.toLocalDate(seconds);
    }

    /**
     * Stores a day. FileMaker lets a plug-in write timestamps but not bare dates, so the value becomes
     * the timestamp at midnight of that day.
     */
    public void setLocalDate(LocalDate date) {
        if (date == null) {
            throw new NullPointerException("date");
        }
        _setDateValue(cDataToken, date.getYear(), date.getMonthValue(), date.getDayOfMonth(), 0, 0, 0);
    }

    /** The value's time of day in seconds since midnight. */
    public long getTimeValue() {
        return _getTimeValue(cDataToken);
    }

    /** Stores a time (native type time) of the given seconds since midnight. */
    public void setTimeValue(long secondsSinceMidnight) {
        if (secondsSinceMidnight < Integer.MIN_VALUE || secondsSinceMidnight > Integer.MAX_VALUE) {
            throw new IllegalArgumentException("A time of " + secondsSinceMidnight + " seconds is out of range");
        }
        _setTimeValue(cDataToken, secondsSinceMidnight);
    }

    /**
     * The value's time of day, or null when the value is empty.
     *
     * @throws IllegalArgumentException for a time outside one day (FileMaker allows durations such as
     *         25:00:00, which are no time of day)
     */
    public LocalTime getAsLocalTime() {
        if (isEmpty()) {
            return null;
        }
        // The seconds since midnight of a time value's date view drop whole days (25:00:00 reads as
        // 1:00:00); its timestamp view keeps them, so a duration is refused instead of shortened.
        long seconds = getNativeType() == kDTTime ? _getDateTimeValue(cDataToken) : _getTimeValue(cDataToken);
        return HostSeconds.toLocalTime(seconds);
    }

    /** Stores a time of day (native type time), to the second. */
    public void setLocalTime(LocalTime time) {
        if (time == null) {
            throw new NullPointerException("time");
        }
        _setTimeValue(cDataToken, time.toSecondOfDay());
    }

    // ---- Container data -----------------------------------------------------------------------------

    /** A copy of the value's container contents; changes reach the value only through {@link #setFMBinary}. */
    public FMBinary getFMBinary() {
        return new FMBinary(_getFMBinary(cDataToken));
    }

    /** Stores container contents. */
    public void setFMBinary(FMBinary binary) {
        if (binary == null) {
            throw new NullPointerException("binary");
        }
        _setFMBinary(cDataToken, binary.getToken());
    }

    // ---- Whole values -------------------------------------------------------------------------------

    /**
     * Writes this value into {@code target} in the nearest form a plug-in can write: text with its
     * styles, container data, timestamps, times; dates become the timestamp at midnight, numbers and
     * booleans their text. An empty value empties the target's text.
     */
    public void copyTo(FMData target) {
        if (target == null) {
            throw new NullPointerException("target");
        }
        if (target.cDataToken == cDataToken) {
            return;
        }
        if (isEmpty()) {
            target.setAsString("");
            return;
        }
        switch (getNativeType()) {
            case kDTBinary:
                target.setFMBinary(getFMBinary());
                break;
            case kDTTimeStamp:
            case kDTDate:
                target.setLocalDateTime(getAsLocalDateTime());
                break;
            case kDTTime:
                target.setTimeValue(getTimeValue());
                break;
            case kDTText:
                getFMText().writeToData(target);
                break;
            default:
                target.setAsString(getAsString());
                break;
        }
    }

    @Override
    public String toString() {
        return "FMData@" + Long.toHexString(cDataToken);
    }

    private native long _createEmptyData();
    private native int _getNativeType(long data);
    private native boolean _isEmpty(long data);
    private native void _setStringData(long data, String text);
    private native String _getStringData(long data);
    private native long _getLongData(long data);
    private native double _getDoubleData(long data);
    private native void _setDateValue(long data, int year, int month, int day, int hour, int minute, int second);
    private native long _getDateValue(long data);
    private native long _getDateTimeValue(long data);
    private native void _setTimeValue(long data, long seconds);
    private native long _getTimeValue(long data);
    private native long _getFMText(long data);
    private native long _getFMBinary(long data);
    private native void _setFMBinary(long data, long binary);
}
