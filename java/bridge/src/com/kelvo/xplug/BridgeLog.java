package com.kelvo.xplug;

import java.io.FileOutputStream;
import java.io.IOException;
import java.io.OutputStreamWriter;
import java.io.PrintWriter;
import java.io.StringWriter;
import java.io.Writer;
import java.nio.charset.Charset;
import java.util.Date;

/**
 * Appends the bridge's own messages, with stack traces, to the module's log file, or to standard error
 * when the module gave no file. Any thread; a failure to write falls back to standard error and never
 * throws.
 */
final class BridgeLog {
    private static final Charset UTF8 = Charset.forName("UTF-8");

    private final String path;

    BridgeLog(String path) {
        this.path = path == null ? "" : path;
    }

    String path() {
        return path;
    }

    void info(String message) {
        write("(Java " + new Date() + ") " + message + System.lineSeparator());
    }

    /** A line from java.util.logging: like {@link #error}, with or without a failure. */
    void entry(String message, Throwable failure) {
        if (failure == null) {
            info(message);
        } else {
            error(message, failure);
        }
    }

    void error(String message, Throwable failure) {
        StringWriter text = new StringWriter();
        PrintWriter printer = new PrintWriter(text);
        printer.print("(Java " + new Date() + ") " + message + System.lineSeparator());
        if (failure != null) {
            failure.printStackTrace(printer);
        }
        printer.flush();
        write(text.toString());
    }

    private synchronized void write(String text) {
        if (!path.isEmpty()) {
            try (Writer out = new OutputStreamWriter(new FileOutputStream(path, true), UTF8)) {
                out.write(text);
                return;
            } catch (IOException | RuntimeException e) {
                System.err.print("(Java) Could not append to " + path + ": " + e + System.lineSeparator());
            }
        }
        System.err.print(text);
        System.err.flush();
    }
}
