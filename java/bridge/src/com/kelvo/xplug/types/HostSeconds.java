package com.kelvo.xplug.types;

import java.time.LocalDate;
import java.time.LocalDateTime;
import java.time.LocalTime;
import java.time.ZoneOffset;
import java.util.TimeZone;

/**
 * FileMaker's count of date-time seconds and its conversions to Java times. FileMaker counts local
 * wall-clock time as days times 86400 plus the seconds since midnight, with 0001-01-01 as day 1, and
 * keeps no time zone; Java instants count from 1970-01-01 00:00:00 UTC. Stateless; any thread.
 */
public final class HostSeconds {
    /** 1970-01-01 00:00:00 in FileMaker's count. */
    public static final long AT_JAVA_EPOCH = 62135683200L;
    /** Seconds in one day. */
    public static final long PER_DAY = 86400L;

    private HostSeconds() {}

    /** The wall-clock time of a count, with no time zone involved. */
    public static LocalDateTime toLocalDateTime(long hostSeconds) {
        return LocalDateTime.ofEpochSecond(hostSeconds - AT_JAVA_EPOCH, 0, ZoneOffset.UTC);
    }

    /** The count of a wall-clock time; fractions of a second are dropped. */
    public static long fromLocalDateTime(LocalDateTime time) {
        return time.toEpochSecond(ZoneOffset.UTC) + AT_JAVA_EPOCH;
    }

    /** The day of a count. */
    public static LocalDate toLocalDate(long hostSeconds) {
        return LocalDate.ofEpochDay(Math.floorDiv(hostSeconds, PER_DAY) - AT_JAVA_EPOCH / PER_DAY);
    }

    /** The count of midnight at the start of a day. */
    public static long fromLocalDate(LocalDate date) {
        return (date.toEpochDay() + AT_JAVA_EPOCH / PER_DAY) * PER_DAY;
    }

    /** A time of day from seconds since midnight (0 to 86399). */
    public static LocalTime toLocalTime(long secondsSinceMidnight) {
        if (secondsSinceMidnight < 0 || secondsSinceMidnight >= PER_DAY) {
            throw new IllegalArgumentException(
                    "A time of " + secondsSinceMidnight + " seconds is not a time of day (0 to 86399 seconds)");
        }
        return LocalTime.ofSecondOfDay(secondsSinceMidnight);
    }

    /**
     * The Java instant (milliseconds since 1970 UTC) of a count read as wall-clock time in {@code zone}.
     * 0, FileMaker's answer for an empty value, stays 0. A wall-clock time that the zone skips (a
     * daylight-saving gap) moves forward by the gap; one that occurs twice takes the earlier instant.
     */
    public static long toJavaMillis(long hostSeconds, TimeZone zone) {
        if (hostSeconds == 0) {
            return 0;
        }
        // The zone's offset has to be the one in force at the wall-clock time itself; taking the offset
        // at "wall clock read as UTC" is off by an hour for the hours next to a transition.
        return toLocalDateTime(hostSeconds).atZone(zone.toZoneId()).toInstant().toEpochMilli();
    }

    /** The count of a Java instant's wall-clock time in {@code zone}; milliseconds are dropped. */
    public static long fromJavaMillis(long millis, TimeZone zone) {
        long seconds = Math.floorDiv(millis, 1000L);
        long offsetSeconds = zone.getOffset(seconds * 1000L) / 1000L;
        return seconds + offsetSeconds + AT_JAVA_EPOCH;
    }
}
