package com.kelvo.xplug;

import java.util.logging.ErrorManager;
import java.util.logging.Formatter;
import java.util.logging.Handler;
import java.util.logging.LogRecord;
import java.util.logging.Logger;
import java.util.logging.SimpleFormatter;

/**
 * Routes java.util.logging, through which most libraries log, to the plug-in's log file: inside
 * FileMaker nothing reads the VM's standard error, and without a configuration the records would go
 * nowhere at all. Installed once, when the bridge is created; records arrive on any thread.
 */
final class LogRouting extends Handler {
    private final BridgeLog log;
    // Fills in a record's parameters ("{0}") and localises its message, as the JDK's handlers do.
    private final Formatter messages = new SimpleFormatter();

    private LogRouting(BridgeLog log) {
        this.log = log;
    }

    /** Adds the routing to the root logger, so that every logger that passes records to its parents reaches it. */
    static void install(BridgeLog log) {
        Logger.getLogger("").addHandler(new LogRouting(log));
    }

    @Override
    public void publish(LogRecord record) {
        if (record == null || !isLoggable(record)) {
            return;
        }
        try {
            String logger = record.getLoggerName() == null ? "" : " " + record.getLoggerName();
            log.entry(record.getLevel().getName() + logger + ": " + messages.formatMessage(record),
                    record.getThrown());
        } catch (RuntimeException failure) {
            reportError("Could not write a log record to the plug-in's log", failure, ErrorManager.WRITE_FAILURE);
        }
    }

    @Override
    public void flush() {
        // Every entry is written and closed at once.
    }

    @Override
    public void close() {
        // Nothing stays open.
    }
}
