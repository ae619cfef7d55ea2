package com.kelvo.xplug.types;

import java.util.Calendar;
import java.util.Date;
import java.util.TimeZone;

/**
 * One FileMaker data value: a function parameter, a function's result, an evaluation result or a value
 * made here. Holds the value's handle; valid only during the function call that produced it, on the
 * thread of that call.
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

    // FileMaker counts seconds from 0001-01-01; this is 1970-01-01 00:00:00 in that count.
    private static final long HOST_SECONDS_AT_JAVA_EPOCH = 62135683200L;

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

    public String getAsString() {
        return _getStringData(cDataToken);
    }

    public void setAsString(String text) {
        _setStringData(cDataToken, text == null ? "" : text);
    }

    public long getAsLong() {
        return _getLongData(cDataToken);
    }

    public double getAsDouble() {
        return _getDoubleData(cDataToken);
    }

    /** The value's own text, as FileMaker holds it. */
    public FMText getAsFMText() {
        return new FMText(_getFMText(cDataToken));
    }

    /** A copy of the value's container contents. */
    public FMBinary getAsFMBinary() {
        return new FMBinary(_getFMBinary(cDataToken));
    }

    public void setAsFMBinary(FMBinary binary) {
        if (binary == null) {
            throw new NullPointerException("binary");
        }
        _setFMBinary(cDataToken, binary.getToken());
    }

    /** The value as a timestamp, or null when it has none. */
    public Date getAsDate() {
        long seconds = _getDateTimeValue(cDataToken);
        if (seconds == 0) {
            return null;
        }
        long millis = seconds * 1000 - HOST_SECONDS_AT_JAVA_EPOCH * 1000;
        return new Date(millis - TimeZone.getDefault().getOffset(millis));
    }

    /** Stores a timestamp, in the default time zone's wall-clock time. */
    public void setAsDate(Date date) {
        if (date == null) {
            throw new NullPointerException("date");
        }
        Calendar calendar = Calendar.getInstance();
        calendar.setTime(date);
        _setDateValue(cDataToken, calendar.get(Calendar.YEAR), calendar.get(Calendar.MONTH) + 1,
                calendar.get(Calendar.DAY_OF_MONTH), calendar.get(Calendar.HOUR_OF_DAY),
                calendar.get(Calendar.MINUTE), calendar.get(Calendar.SECOND));
    }

    /** Stores a time of day, in seconds since midnight. */
    public void setAsTime(long secondsSinceMidnight) {
        _setTimeValue(cDataToken, secondsSinceMidnight);
    }

    /** The value as seconds since midnight. */
    public long getAsTime() {
        return _getTimeValue(cDataToken);
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
