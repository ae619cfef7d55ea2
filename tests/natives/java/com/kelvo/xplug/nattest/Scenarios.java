package com.kelvo.xplug.nattest;

import java.util.ArrayList;
import java.util.List;

/**
 * The scenarios of NT_Run. Each returns the text to write into the result, or null when it wrote the
 * result itself. p[0] is the scenario's name, p[1] on its further parameters.
 */
final class Scenarios {
    private Scenarios() {}

    static String run(String scenario, long[] p, long result) throws Throwable {
        switch (scenario) {
            case "echo":
                Natives.setString(result, Natives.getString(p[1]));
                return null;
            case "units":
                return units(Natives.getString(p[1]));
            case "setZero":
                Natives.setString(result, "ab\u0000cd");
                return null;
            case "createZero":
                return Long.toString(Natives.textLength(Natives.createText("ab\u0000cd"))) + ","
                        + Natives.textLength(Natives.createText(""));
            case "params":
                return params(p);
            case "type":
                return Integer.toString(Natives.nativeType(p[1]));
            case "long":
                return Long.toString(Natives.getLong(p[1]));
            case "double":
                return Double.toString(Natives.getDouble(p[1]));
            case "dateTime":
                return Long.toString(Natives.getDateTimeValue(p[1]));
            case "dateValue":
                return Long.toString(Natives.getDateValue(p[1]));
            case "time":
                return Long.toString(Natives.getTime(p[1]));
            case "setDate":
                Natives.setDate(result, (int) Natives.getLong(p[1]), (int) Natives.getLong(p[2]),
                        (int) Natives.getLong(p[3]), (int) Natives.getLong(p[4]), (int) Natives.getLong(p[5]),
                        (int) Natives.getLong(p[6]));
                return null;
            case "setTime":
                Natives.setTime(result, Natives.getLong(p[1]));
                return null;
            case "empty":
                return Natives.isEmpty(p[1]) + "," + Natives.isEmpty(Natives.createEmptyData());
            case "appendChars":
                return appendChars(result);
            case "appendText":
                return appendText(result);
            case "getChars":
                return getChars();
            case "styleRange":
                return styleRange(result);
            case "styleRead":
                return styleRead();
            case "view":
                return view(p[1]);
            case "binary":
                return binary(result);
            case "binaryStore":
                binary(result);
                return null;
            case "order":
                return order();
            case "types":
                return types(p[1]);
            case "ranges":
                return ranges();
            case "nulls":
                return nulls();
            case "register":
                Natives.register("ABCD", (short) 77, "NT_Zero\u0000Tail", "NT_Zero\u0000Tail( x )", 2, -1, 0x5A);
                Natives.register("ABCD", (short) 77, "NT_Twice", "NT_Twice", 0, 1, 0);
                // FileMaker refuses this registration through its result, which the module does not pass on:
                // Java hears nothing of it.
                return "registered " + outcome(() -> Natives.register("ABCD", (short) 78, "NT_Refused", "NT_Refused",
                        -1, 0, 0));
            case "make":
                return make();
            case "nest":
                return nest(p);
            case "all":
                return all(p, result);
            default:
                return "unknown scenario " + scenario;
        }
    }

    private static String units(String text) {
        StringBuilder out = new StringBuilder().append(text.length()).append(':');
        for (int i = 0; i < text.length(); i++) {
            out.append(i == 0 ? "" : " ").append(Integer.toHexString(text.charAt(i)));
        }
        return out.toString();
    }

    private static String params(long[] p) throws Throwable {
        StringBuilder out = new StringBuilder().append(p.length - 1);
        for (int i = 1; i < p.length; i++) {
            out.append('|').append(Natives.getString(p[i]));
        }
        return out.toString();
    }

    private static String appendChars(long result) throws Throwable {
        long text = Natives.createEmptyText();
        char[] chars = "0123456789ABCDEFGHIJ".toCharArray();
        Natives.appendChars(text, chars, 10, 5);
        Natives.appendChars(text, chars, 0, 0);
        Natives.appendChars(text, chars, 19, 1);
        Natives.writeToData(text, result);
        return null;
    }

    private static String appendText(long result) throws Throwable {
        long text = Natives.createText("ab");
        Natives.appendText(text, Natives.createText("cd"));
        Natives.appendText(text, text);
        Natives.writeToData(text, result);
        return null;
    }

    private static String getChars() throws Throwable {
        long text = Natives.createText("0123456789");
        char[] chars = "wxyz".toCharArray();
        Natives.getChars(text, 3, chars, 1, 2);
        return new String(chars);
    }

    private static String styleRange(long result) throws Throwable {
        long text = Natives.createText("abcdef");
        long style = Natives.createStyle();
        Natives.setFace(style, 256);
        Natives.setFont(style, 3);
        Natives.setSize(style, 20);
        Natives.setColor(style, 300, -1, 7, 128);
        Natives.setStyle(text, style, 2, -1);
        Natives.writeToData(text, result);
        return null;
    }

    private static String styleRead() throws Throwable {
        long text = Natives.createText("abc");
        long style = Natives.createStyle();
        Natives.setFace(style, 40000);
        Natives.setFont(style, 65535);
        Natives.setSize(style, 33000);
        Natives.setStyle(text, style, 1, 1);
        long first = Natives.getStyle(text, 1);
        long second = Natives.getStyle(text, 1);
        long plain = Natives.getStyle(text, 0);
        long fallback = Natives.getDefaultStyle(text);
        return Natives.getFace(first) + "," + Natives.getFont(first) + "," + Natives.getSize(first) + ","
                + (first != second) + "," + Natives.getFace(plain) + "," + Natives.getFace(fallback);
    }

    // The value's own text is read in place and is not the value's copy.
    private static String view(long data) throws Throwable {
        long text = Natives.getFMText(data);
        char[] chars = new char[(int) Natives.textLength(text)];
        Natives.getChars(text, 0, chars, 0, chars.length);
        return new String(chars);
    }

    private static String binary(long result) throws Throwable {
        long binary = Natives.createBinary();
        StringBuilder out = new StringBuilder();
        out.append(Natives.streamCount(binary)).append('/').append(Natives.totalSize(binary));
        byte[] image = new byte[256];
        for (int i = 0; i < image.length; i++) {
            image[i] = (byte) i;
        }
        Natives.addStream(binary, "JPEG", image.length, image);
        Natives.addStream(binary, "\u00e9AB", 2, new byte[] {1, 2, 3});
        Natives.addStream(binary, "EMPT", 0, new byte[0]);
        Natives.addStream(binary, "UTXT", 7, new byte[] {'a', 0, 'b', 0, 'c', 0, 'd'});
        out.append(' ').append(Natives.streamCount(binary)).append('/').append(Natives.totalSize(binary));
        for (int i = 0; i < Natives.streamCount(binary); i++) {
            out.append(' ').append(Natives.type(binary, i)).append('=').append(Natives.size(binary, i));
        }
        byte[] part = new byte[12];
        java.util.Arrays.fill(part, (byte) -1);
        Natives.getData(binary, 0, 100, 10, part);
        out.append(" data");
        for (byte b : part) {
            out.append(' ').append(b);
        }
        out.append(" text=").append(Natives.unicodeString(binary, 3));
        Natives.removeStream(binary, "EMPT");
        Natives.removeStream(binary, "NONE");
        out.append(" after=").append(Natives.streamCount(binary));
        Natives.setFMBinary(result, binary);
        // A copy of the stored contents is independent of the value.
        long copy = Natives.getFMBinary(result);
        long again = Natives.getFMBinary(result);
        Natives.removeAll(copy);
        out.append(" copy=").append(Natives.streamCount(copy)).append('/').append(Natives.streamCount(again))
                .append(',').append(copy != again);
        return out.toString();
    }

    private static String types(long data) throws Throwable {
        long binary = Natives.getFMBinary(data);
        List<String> names = new ArrayList<String>();
        for (int i = 0; i < Natives.streamCount(binary); i++) {
            String type = Natives.type(binary, i);
            names.add(type.length() + ":" + type);
        }
        return String.join(",", names);
    }

    private interface Attempt {
        void run() throws Throwable;
    }

    private static String outcome(Attempt attempt) {
        try {
            attempt.run();
            return "ok";
        } catch (Throwable failure) {
            return failure.getClass().getSimpleName();
        }
    }

    // Ranges outside their arrays; the arrays must come through untouched.
    private static String ranges() throws Throwable {
        final long text = Natives.createText("0123456789");
        final long binary = Natives.createBinary();
        Natives.addStream(binary, "DATA", 4, new byte[] {1, 2, 3, 4});
        final char[] chars = "abcd".toCharArray();
        final byte[] bytes = new byte[] {9, 9, 9, 9};
        List<String> outcomes = new ArrayList<String>();
        outcomes.add(outcome(() -> Natives.appendChars(text, chars, 3, 2)));
        outcomes.add(outcome(() -> Natives.appendChars(text, chars, -1, 1)));
        outcomes.add(outcome(() -> Natives.appendChars(text, chars, 0, -1)));
        outcomes.add(outcome(() -> Natives.appendChars(text, chars, Integer.MAX_VALUE, 2)));
        outcomes.add(outcome(() -> Natives.getChars(text, 0, chars, 1, 4)));
        outcomes.add(outcome(() -> Natives.getChars(text, 0, chars, 4, 0)));
        outcomes.add(outcome(() -> Natives.getChars(text, 0, chars, 0, -2)));
        outcomes.add(outcome(() -> Natives.getData(binary, 0, 0, 5, bytes)));
        outcomes.add(outcome(() -> Natives.getData(binary, 0, 0, -1, bytes)));
        outcomes.add(outcome(() -> Natives.addStream(binary, "MORE", 5, bytes)));
        outcomes.add(outcome(() -> Natives.addStream(binary, "MORE", -3, bytes)));
        // A range outside the text (not the array) is the host's to report.
        outcomes.add(outcome(() -> Natives.getChars(text, 9, chars, 0, 3)));
        return String.join(",", outcomes) + " " + new String(chars) + " " + bytes[0] + bytes[3] + " "
                + Natives.textLength(text) + "/" + Natives.streamCount(binary);
    }

    private static String nulls() throws Throwable {
        final long text = Natives.createText("x");
        final long data = Natives.createEmptyData();
        final long binary = Natives.createBinary();
        List<String> outcomes = new ArrayList<String>();
        outcomes.add(outcome(() -> Natives.createText(null)));
        outcomes.add(outcome(() -> Natives.setString(data, null)));
        outcomes.add(outcome(() -> Natives.appendChars(text, null, 0, 0)));
        outcomes.add(outcome(() -> Natives.getChars(text, 0, null, 0, 0)));
        outcomes.add(outcome(() -> Natives.getData(binary, 0, 0, 0, null)));
        outcomes.add(outcome(() -> Natives.addStream(binary, null, 0, new byte[0])));
        outcomes.add(outcome(() -> Natives.addStream(binary, "DATA", 0, null)));
        outcomes.add(outcome(() -> Natives.removeStream(binary, null)));
        outcomes.add(outcome(() -> Natives.register(null, (short) 1, "N", "N", 0, 0, 0)));
        outcomes.add(outcome(() -> Natives.register("NTST", (short) 1, null, "N", 0, 0, 0)));
        outcomes.add(outcome(() -> Natives.register("NTST", (short) 1, "N", null, 0, 0, 0)));
        return String.join(",", outcomes) + " " + Natives.streamCount(binary);
    }

    // Texts A and B, style C, data D, binary E: their addresses, in that order.
    private static String order() throws Throwable {
        long[] made = {Natives.createText("A"), Natives.createText("B"), Natives.createStyle(),
                Natives.createEmptyData(), Natives.createBinary()};
        StringBuilder out = new StringBuilder();
        for (long handle : made) {
            out.append(out.length() == 0 ? "" : " ").append(Long.toHexString(handle));
        }
        return out.toString();
    }

    // One object of each kind the call scope keeps.
    private static String make() throws Throwable {
        Natives.createText("inner");
        Natives.createStyle();
        Natives.createEmptyData();
        Natives.createBinary();
        return "made";
    }

    // The outer call's objects must outlive a plug-in function that Java's own evaluation calls.
    private static String nest(long[] p) throws Throwable {
        long text = Natives.createText("outer");
        long style = Natives.createStyle();
        Natives.setFace(style, 512);
        long binary = Natives.createBinary();
        Natives.addStream(binary, "KEEP", 1, new byte[] {42});
        long inner = Natives.createEmptyData();
        int depth = p.length > 1 ? (int) Natives.getLong(p[1]) : 1;
        String expression = depth > 1 ? "NT_Run(\"nest\"; " + (depth - 1) + ")" : "NT_Run(\"make\")";
        short code = HostHooks.evaluate(expression, inner);
        char[] chars = new char[(int) Natives.textLength(text)];
        Natives.getChars(text, 0, chars, 0, chars.length);
        return new String(chars) + "," + Natives.getFace(style) + "," + Natives.streamCount(binary) + "," + code
                + "," + Natives.getString(inner);
    }

    // Every FM_ operation the natives use, in one call; the table of injected faults runs it.
    private static String all(long[] p, long result) throws Throwable {
        Natives.register("NTST", (short) 90, "NT_Late", "NT_Late", 0, 0, 0);
        long data = Natives.createEmptyData();
        Natives.setString(data, "text");
        Natives.getString(data);
        Natives.nativeType(data);
        Natives.isEmpty(data);
        Natives.getLong(p[1]);
        Natives.getDouble(p[1]);
        Natives.setDate(data, 2024, 2, 29, 13, 14, 15);
        Natives.getDateTimeValue(data);
        Natives.getDateValue(data);
        Natives.setTime(data, 3600);
        Natives.getTime(data);
        Natives.getFMText(data);

        long text = Natives.createText("abc");
        long other = Natives.createEmptyText();
        Natives.appendChars(other, "xyz".toCharArray(), 0, 3);
        Natives.appendText(text, other);
        Natives.textLength(text);
        Natives.getChars(text, 0, new char[2], 0, 2);
        long style = Natives.createStyle();
        Natives.setFace(style, 256);
        Natives.setFont(style, 1);
        Natives.setSize(style, 12);
        Natives.setColor(style, 1, 2, 3, 4);
        Natives.getFace(style);
        Natives.getFont(style);
        Natives.getSize(style);
        Natives.setStyle(text, style, 0, -1);
        Natives.getStyle(text, 1);
        Natives.getDefaultStyle(text);
        Natives.writeToData(text, data);

        long binary = Natives.createBinary();
        Natives.addStream(binary, "DATA", 3, new byte[] {1, 2, 3});
        Natives.streamCount(binary);
        Natives.totalSize(binary);
        Natives.size(binary, 0);
        Natives.type(binary, 0);
        Natives.getData(binary, 0, 0, 3, new byte[3]);
        Natives.unicodeString(binary, 0);
        Natives.removeStream(binary, "DATA");
        Natives.addStream(binary, "DATA", 3, new byte[] {1, 2, 3});
        Natives.setFMBinary(data, binary);
        long copy = Natives.getFMBinary(data);
        Natives.removeAll(copy);
        Natives.setString(result, "done");
        return null;
    }
}
