package com.kelvo.xplug.nattest;

import java.lang.reflect.Constructor;
import java.lang.reflect.InvocationTargetException;
import java.lang.reflect.Method;
import java.util.HashMap;
import java.util.Map;

/**
 * Calls the module's natives of the value classes directly, by reflection, so that the tests reach
 * every native with exactly the arguments they choose (bad ranges and nulls included), past the
 * checks of the classes' public methods. An exception of a native is rethrown as it is.
 */
final class Natives {
    private static final Map<String, Method> methods = new HashMap<String, Method>();
    private static final Map<Class<?>, Object> receivers = new HashMap<Class<?>, Object>();

    private Natives() {}

    static synchronized Object call(String className, String name, Object... arguments) throws Throwable {
        Class<?> type = Class.forName("com.kelvo.xplug." + className);
        Method method = methods.get(className + "." + name);
        if (method == null) {
            for (Method candidate : type.getDeclaredMethods()) {
                if (candidate.getName().equals(name)) {
                    method = candidate;
                }
            }
            if (method == null) {
                throw new NoSuchMethodException(className + "." + name);
            }
            method.setAccessible(true);
            methods.put(className + "." + name, method);
        }
        try {
            return method.invoke(receiver(type), arguments);
        } catch (InvocationTargetException failure) {
            throw failure.getCause();
        }
    }

    // The natives do not read the object they are called on; any instance serves.
    private static Object receiver(Class<?> type) throws Exception {
        Object receiver = receivers.get(type);
        if (receiver == null) {
            if (type.getName().equals("com.kelvo.xplug.PluginBridge")) {
                receiver = type.getMethod("sharedInstance", String.class, String.class, short.class, String.class)
                        .invoke(null, null, null, (short) 0, null);
            } else {
                Constructor<?> constructor = type.getDeclaredConstructor(long.class);
                constructor.setAccessible(true);
                receiver = constructor.newInstance(0L);
            }
            receivers.put(type, receiver);
        }
        return receiver;
    }

    // ---- FMData
    static long createEmptyData() throws Throwable {
        return (Long) call("types.FMData", "_createEmptyData");
    }

    static int nativeType(long data) throws Throwable {
        return (Integer) call("types.FMData", "_getNativeType", data);
    }

    static boolean isEmpty(long data) throws Throwable {
        return (Boolean) call("types.FMData", "_isEmpty", data);
    }

    static void setString(long data, String text) throws Throwable {
        call("types.FMData", "_setStringData", data, text);
    }

    static String getString(long data) throws Throwable {
        return (String) call("types.FMData", "_getStringData", data);
    }

    static long getLong(long data) throws Throwable {
        return (Long) call("types.FMData", "_getLongData", data);
    }

    static double getDouble(long data) throws Throwable {
        return (Double) call("types.FMData", "_getDoubleData", data);
    }

    static void setDate(long data, int year, int month, int day, int hour, int minute, int second)
            throws Throwable {
        call("types.FMData", "_setDateValue", data, year, month, day, hour, minute, second);
    }

    static long getDateValue(long data) throws Throwable {
        return (Long) call("types.FMData", "_getDateValue", data);
    }

    static long getDateTimeValue(long data) throws Throwable {
        return (Long) call("types.FMData", "_getDateTimeValue", data);
    }

    static void setTime(long data, long seconds) throws Throwable {
        call("types.FMData", "_setTimeValue", data, seconds);
    }

    static long getTime(long data) throws Throwable {
        return (Long) call("types.FMData", "_getTimeValue", data);
    }

    static long getFMText(long data) throws Throwable {
        return (Long) call("types.FMData", "_getFMText", data);
    }

    static long getFMBinary(long data) throws Throwable {
        return (Long) call("types.FMData", "_getFMBinary", data);
    }

    static void setFMBinary(long data, long binary) throws Throwable {
        call("types.FMData", "_setFMBinary", data, binary);
    }

    // ---- FMText
    static long createText(String text) throws Throwable {
        return (Long) call("types.FMText", "_createText", text);
    }

    static long createEmptyText() throws Throwable {
        return (Long) call("types.FMText", "_createEmptyText");
    }

    static void appendChars(long text, char[] chars, int offset, int count) throws Throwable {
        call("types.FMText", "_appendCharArray", text, chars, offset, count);
    }

    static void writeToData(long text, long data) throws Throwable {
        call("types.FMText", "_writeToData", text, data);
    }

    static void appendText(long text, long other) throws Throwable {
        call("types.FMText", "jni_appendText", text, other);
    }

    static void setStyle(long text, long style, long position, long count) throws Throwable {
        call("types.FMText", "jni_setStyle", text, style, position, count);
    }

    static long getStyle(long text, long position) throws Throwable {
        return (Long) call("types.FMText", "jni_getStyle", text, position);
    }

    static long getDefaultStyle(long text) throws Throwable {
        return (Long) call("types.FMText", "jni_getDefaultStyle", text);
    }

    static long textLength(long text) throws Throwable {
        return (Long) call("types.FMText", "_getTextLength", text);
    }

    static void getChars(long text, long position, char[] chars, int offset, int count) throws Throwable {
        call("types.FMText", "_getCharArray", text, position, chars, offset, count);
    }

    // ---- FMCharacterStyle
    static long createStyle() throws Throwable {
        return (Long) call("types.FMCharacterStyle", "_createCharacterStyle");
    }

    static void setFace(long style, int face) throws Throwable {
        call("types.FMCharacterStyle", "jni_setface", style, face);
    }

    static void setFont(long style, int font) throws Throwable {
        call("types.FMCharacterStyle", "jni_setFontID", style, font);
    }

    static void setSize(long style, int size) throws Throwable {
        call("types.FMCharacterStyle", "jni_setFontSize", style, size);
    }

    static void setColor(long style, int red, int green, int blue, int alpha) throws Throwable {
        call("types.FMCharacterStyle", "jni_setColor", style, red, green, blue, alpha);
    }

    static int getFace(long style) throws Throwable {
        return (Integer) call("types.FMCharacterStyle", "jni_getFace", style);
    }

    static int getFont(long style) throws Throwable {
        return (Integer) call("types.FMCharacterStyle", "jni_getFontID", style);
    }

    static int getSize(long style) throws Throwable {
        return (Integer) call("types.FMCharacterStyle", "jni_getFontSize", style);
    }

    // ---- FMBinary
    static long createBinary() throws Throwable {
        return (Long) call("types.FMBinary", "_createBinary");
    }

    static int streamCount(long binary) throws Throwable {
        return (Integer) call("types.FMBinary", "_getStreamCount", binary);
    }

    static long totalSize(long binary) throws Throwable {
        return (Long) call("types.FMBinary", "_getTotalSize", binary);
    }

    static int size(long binary, int stream) throws Throwable {
        return (Integer) call("types.FMBinary", "_getSize", binary, stream);
    }

    static String type(long binary, int stream) throws Throwable {
        return (String) call("types.FMBinary", "_getTypeForIndex", binary, stream);
    }

    static void getData(long binary, int stream, int offset, int amount, byte[] bytes) throws Throwable {
        call("types.FMBinary", "_getData", binary, stream, offset, amount, bytes);
    }

    static String unicodeString(long binary, int stream) throws Throwable {
        return (String) call("types.FMBinary", "_getUnicodeString", binary, stream);
    }

    static void addStream(long binary, String type, int length, byte[] bytes) throws Throwable {
        call("types.FMBinary", "_addStream", binary, type, length, bytes);
    }

    static void removeStream(long binary, String type) throws Throwable {
        call("types.FMBinary", "_removeStream", binary, type);
    }

    static void removeAll(long binary) throws Throwable {
        call("types.FMBinary", "_removeAllStreams", binary);
    }

    // ---- PluginBridge
    static void register(String pluginId, short functionId, String name, String prototype, int min, int max,
                         int flags) throws Throwable {
        call("PluginBridge", "_registerFunction", pluginId, functionId, null, name, prototype, min, max, flags);
    }
}
