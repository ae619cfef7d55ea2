package com.kelvo.xplug;

import com.kelvo.xplug.types.FMBinary;
import com.kelvo.xplug.types.FMData;
import com.kelvo.xplug.types.FMText;
import java.math.BigDecimal;
import java.math.BigInteger;
import java.time.LocalDate;
import java.time.LocalDateTime;
import java.time.LocalTime;
import java.util.Date;
import java.util.HashMap;
import java.util.Map;

/**
 * The conversions between FileMaker values and the Java types an annotated function may take and
 * return. Chosen once per parameter and result when a function is registered; stateless, any thread.
 */
final class ValueConversions {
    /** Turns one parameter into the Java value the method expects. */
    interface Reader {
        Object read(FMData value);

        /** The value of a parameter the calculation left out. */
        Object absent();
    }

    /** Writes the method's return value into the function's result. */
    interface Writer {
        void write(FMData result, Object value);
    }

    private static final Map<Class<?>, Reader> READERS = new HashMap<Class<?>, Reader>();
    private static final Map<Class<?>, Writer> WRITERS = new HashMap<Class<?>, Writer>();

    private ValueConversions() {}

    private abstract static class NullWhenAbsent implements Reader {
        @Override
        public Object absent() {
            return null;
        }
    }

    private static final class Primitive implements Reader {
        private final Reader reader;
        private final Object zero;

        Primitive(Reader reader, Object zero) {
            this.reader = reader;
            this.zero = zero;
        }

        @Override
        public Object read(FMData value) {
            Object converted = reader.read(value);
            return converted == null ? zero : converted;
        }

        @Override
        public Object absent() {
            return zero;
        }
    }

    private static void reader(Class<?> boxed, Class<?> primitive, Object zero, Reader reader) {
        READERS.put(boxed, reader);
        if (primitive != null) {
            READERS.put(primitive, new Primitive(reader, zero));
        }
    }

    static {
        reader(String.class, null, null, new NullWhenAbsent() {
            @Override
            public Object read(FMData value) {
                return value.getAsString();
            }
        });
        // Boxed numbers and booleans are null for an empty value, so a function can tell "" from 0.
        reader(Integer.class, int.class, 0, new NullWhenAbsent() {
            @Override
            public Object read(FMData value) {
                return value.isEmpty() ? null : value.getAsInt();
            }
        });
        reader(Long.class, long.class, 0L, new NullWhenAbsent() {
            @Override
            public Object read(FMData value) {
                return value.isEmpty() ? null : value.getAsLong();
            }
        });
        reader(Double.class, double.class, 0.0, new NullWhenAbsent() {
            @Override
            public Object read(FMData value) {
                return value.isEmpty() ? null : value.getAsDouble();
            }
        });
        reader(Boolean.class, boolean.class, Boolean.FALSE, new NullWhenAbsent() {
            @Override
            public Object read(FMData value) {
                return value.isEmpty() ? null : value.getAsBoolean();
            }
        });
        reader(BigDecimal.class, null, null, new NullWhenAbsent() {
            @Override
            public Object read(FMData value) {
                return value.getAsBigDecimal();
            }
        });
        reader(Date.class, null, null, new NullWhenAbsent() {
            @Override
            public Object read(FMData value) {
                return value.getDateTimeValue();
            }
        });
        reader(LocalDateTime.class, null, null, new NullWhenAbsent() {
            @Override
            public Object read(FMData value) {
                return value.getAsLocalDateTime();
            }
        });
        reader(LocalDate.class, null, null, new NullWhenAbsent() {
            @Override
            public Object read(FMData value) {
                return value.getAsLocalDate();
            }
        });
        reader(LocalTime.class, null, null, new NullWhenAbsent() {
            @Override
            public Object read(FMData value) {
                return value.getAsLocalTime();
            }
        });
        reader(FMText.class, null, null, new NullWhenAbsent() {
            @Override
            public Object read(FMData value) {
                return value.getFMText();
            }
        });
        reader(FMBinary.class, null, null, new NullWhenAbsent() {
            @Override
            public Object read(FMData value) {
                return value.getFMBinary();
            }
        });
        reader(FMData.class, null, null, new NullWhenAbsent() {
            @Override
            public Object read(FMData value) {
                return value;
            }
        });

        Writer text = new Writer() {
            @Override
            public void write(FMData result, Object value) {
                result.setAsString(value == null ? "" : value.toString());
            }
        };
        WRITERS.put(String.class, text);
        WRITERS.put(BigInteger.class, text);
        Writer whole = new Writer() {
            @Override
            public void write(FMData result, Object value) {
                if (value == null) {
                    result.setAsString("");
                } else {
                    result.setAsLong(((Number) value).longValue());
                }
            }
        };
        for (Class<?> type : new Class<?>[] {Integer.class, int.class, Long.class, long.class, Short.class,
                                             short.class, Byte.class, byte.class}) {
            WRITERS.put(type, whole);
        }
        Writer fraction = new Writer() {
            @Override
            public void write(FMData result, Object value) {
                if (value == null) {
                    result.setAsString("");
                } else {
                    result.setAsDouble(((Number) value).doubleValue());
                }
            }
        };
        for (Class<?> type : new Class<?>[] {Double.class, double.class, Float.class, float.class}) {
            WRITERS.put(type, fraction);
        }
        WRITERS.put(BigDecimal.class, new Writer() {
            @Override
            public void write(FMData result, Object value) {
                result.setAsBigDecimal((BigDecimal) value);
            }
        });
        Writer truth = new Writer() {
            @Override
            public void write(FMData result, Object value) {
                if (value == null) {
                    result.setAsString("");
                } else {
                    result.setAsBoolean((Boolean) value);
                }
            }
        };
        WRITERS.put(Boolean.class, truth);
        WRITERS.put(boolean.class, truth);
        WRITERS.put(Date.class, new Writer() {
            @Override
            public void write(FMData result, Object value) {
                if (value == null) {
                    result.setAsString("");
                } else {
                    result.setDateTimeValue((Date) value);
                }
            }
        });
        WRITERS.put(LocalDateTime.class, new Writer() {
            @Override
            public void write(FMData result, Object value) {
                if (value == null) {
                    result.setAsString("");
                } else {
                    result.setLocalDateTime((LocalDateTime) value);
                }
            }
        });
        WRITERS.put(LocalDate.class, new Writer() {
            @Override
            public void write(FMData result, Object value) {
                if (value == null) {
                    result.setAsString("");
                } else {
                    result.setLocalDate((LocalDate) value);
                }
            }
        });
        WRITERS.put(LocalTime.class, new Writer() {
            @Override
            public void write(FMData result, Object value) {
                if (value == null) {
                    result.setAsString("");
                } else {
                    result.setLocalTime((LocalTime) value);
                }
            }
        });
        WRITERS.put(FMText.class, new Writer() {
            @Override
            public void write(FMData result, Object value) {
                if (value == null) {
                    result.setAsString("");
                } else {
                    ((FMText) value).writeToData(result);
                }
            }
        });
        WRITERS.put(FMBinary.class, new Writer() {
            @Override
            public void write(FMData result, Object value) {
                if (value == null) {
                    result.setAsString("");
                } else {
                    result.setFMBinary((FMBinary) value);
                }
            }
        });
        WRITERS.put(FMData.class, new Writer() {
            @Override
            public void write(FMData result, Object value) {
                if (value == null) {
                    result.setAsString("");
                } else {
                    ((FMData) value).copyTo(result);
                }
            }
        });
        WRITERS.put(void.class, new Writer() {
            @Override
            public void write(FMData result, Object value) {}
        });
    }

    /** The reader for a parameter type, or null when the type has no conversion. */
    static Reader readerFor(Class<?> type) {
        return READERS.get(type);
    }

    /** The writer for a return type, or null when the type has no conversion. */
    static Writer writerFor(Class<?> type) {
        return WRITERS.get(type);
    }

    /** Whether a value of the type can be a parameter or an element of a trailing parameter array. */
    static boolean isParameterType(Class<?> type) {
        return READERS.containsKey(type);
    }
}
