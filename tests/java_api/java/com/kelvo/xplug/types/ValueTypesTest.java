package com.kelvo.xplug.types;

import static com.kelvo.xplug.ApiTestRunner.expectEqual;
import static com.kelvo.xplug.ApiTestRunner.expectThrows;

import com.kelvo.xplug.ApiTestRunner;
import java.math.BigDecimal;
import java.time.LocalDate;
import java.time.LocalDateTime;
import java.time.LocalTime;
import java.time.ZonedDateTime;
import java.time.ZoneOffset;
import java.util.TimeZone;

/** The parts of the value types that need no host: time conversions, type codes and number text. */
public final class ValueTypesTest {
    private ValueTypesTest() {}

    private static long utcMillis(int year, int month, int day, int hour, int minute) {
        return ZonedDateTime.of(year, month, day, hour, minute, 0, 0, ZoneOffset.UTC).toInstant().toEpochMilli();
    }

    private static long hostSeconds(int year, int month, int day, int hour, int minute) {
        return HostSeconds.fromLocalDateTime(LocalDateTime.of(year, month, day, hour, minute));
    }

    public static void checkHostSecondsEpochs() {
        expectEqual(62135683200L, hostSeconds(1970, 1, 1, 0, 0), "1970 in host seconds");
        expectEqual(86400L, hostSeconds(1, 1, 1, 0, 0), "0001-01-01 is the host's day 1");
        expectEqual(LocalDateTime.of(2026, 12, 11, 13, 5, 9),
                HostSeconds.toLocalDateTime(hostSeconds(2026, 12, 11, 13, 5) + 9), "round trip");
        expectEqual(LocalDate.of(2026, 2, 28), HostSeconds.toLocalDate(hostSeconds(2026, 2, 28, 23, 59)), "day");
        expectEqual(hostSeconds(2024, 2, 29, 0, 0), HostSeconds.fromLocalDate(LocalDate.of(2024, 2, 29)), "midnight");
        expectEqual(LocalTime.of(23, 59, 59), HostSeconds.toLocalTime(86399), "last second of a day");
        expectThrows(IllegalArgumentException.class, "not a time of day", new ApiTestRunner.Body() {
            @Override
            public void run() {
                HostSeconds.toLocalTime(90000);
            }
        });
    }

    public static void checkJavaMillisResolveWallClockTimeInTheZone() {
        TimeZone utc = TimeZone.getTimeZone("UTC");
        TimeZone berlin = TimeZone.getTimeZone("Europe/Berlin");
        TimeZone newYork = TimeZone.getTimeZone("America/New_York");
        Object[][] cases = {
                // zone, wall-clock host seconds, expected instant
                {utc, hostSeconds(1970, 1, 1, 0, 0), 0L},
                {utc, 0L, 0L},  // an empty value's 0 stays 0
                {berlin, 0L, 0L},
                {berlin, hostSeconds(2026, 1, 15, 12, 0), utcMillis(2026, 1, 15, 11, 0)},
                {berlin, hostSeconds(2026, 7, 15, 12, 0), utcMillis(2026, 7, 15, 10, 0)},
                // The hour before the spring change is still winter time; reading the offset at
                // "wall clock as UTC" would already take summer time here.
                {berlin, hostSeconds(2026, 3, 29, 1, 30), utcMillis(2026, 3, 29, 0, 30)},
                // 02:30 does not exist that night; it moves forward by the gap.
                {berlin, hostSeconds(2026, 3, 29, 2, 30), utcMillis(2026, 3, 29, 1, 30)},
                // 02:30 occurs twice in autumn; the earlier one is taken.
                {berlin, hostSeconds(2026, 10, 25, 2, 30), utcMillis(2026, 10, 25, 0, 30)},
                {newYork, hostSeconds(2026, 11, 1, 0, 30), utcMillis(2026, 11, 1, 4, 30)},
        };
        for (Object[] c : cases) {
            TimeZone zone = (TimeZone) c[0];
            long seconds = (Long) c[1];
            long millis = HostSeconds.toJavaMillis(seconds, zone);
            expectEqual(c[2], millis, zone.getID() + " " + HostSeconds.toLocalDateTime(seconds));
            if (seconds != 0 && !HostSeconds.toLocalDateTime(seconds).equals(LocalDateTime.of(2026, 3, 29, 2, 30))) {
                expectEqual(seconds, HostSeconds.fromJavaMillis(millis, zone), "back to host seconds");
            }
        }
    }

    public static void checkFourCharacterCodes() {
        expectEqual(0x4A504547, QuadChar.of("JPEG").toInt(), "JPEG packs first character high");
        expectEqual(QuadChar.of("JPEG"), QuadChar.fromInt(0x4A504547), "and unpacks");
        expectEqual("PDF ", QuadChar.of("PDF ").toString(), "a space is a character");
        for (final String bad : new String[] {"", "JPG", "JPEGS", "JP\u00C9G", "JP\u0000G", "\uD83D\uDE00JP"}) {
            expectEqual(false, QuadChar.isValid(bad), "valid " + bad);
            expectThrows(IllegalArgumentException.class, "exactly four characters", new ApiTestRunner.Body() {
                @Override
                public void run() {
                    new QuadChar(bad);
                }
            });
        }
    }

    public static void checkNumbersAreWrittenAsPlainDecimals() {
        Object[][] cases = {
                {new BigDecimal("1E+3"), "1000"},
                {new BigDecimal("0.10"), "0.1"},
                {new BigDecimal("0E-5"), "0"},
                {new BigDecimal("-2.50"), "-2.5"},
                {new BigDecimal("12345678901234567891"), "12345678901234567891"},
                {BigDecimal.valueOf(1e-7), "0.0000001"},
                {BigDecimal.valueOf(0.1 + 0.2), "0.30000000000000004"},
        };
        for (Object[] c : cases) {
            expectEqual(c[1], FMData.plainText((BigDecimal) c[0]), c[0].toString());
        }
    }
}
