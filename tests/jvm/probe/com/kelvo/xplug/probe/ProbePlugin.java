package com.kelvo.xplug.probe;

import com.kelvo.xplug.FunctionRegistry;
import com.kelvo.xplug.Plugin;
import java.io.FileOutputStream;
import java.io.IOException;
import java.io.OutputStreamWriter;
import java.io.Writer;
import java.nio.charset.StandardCharsets;

/**
 * A plug-in for the VM hosting tests: it records each lifecycle call, with the thread it came on, as a
 * line in the file named by XPLUG_PROBE_OUT, and answers start-up as XPLUG_PROBE_MODE asks.
 */
public class ProbePlugin implements Plugin {
    private final int identity = System.identityHashCode(this);

    public ProbePlugin() {
        record("constructed " + identity);
    }

    private static void record(String line) {
        String path = System.getenv("XPLUG_PROBE_OUT");
        if (path == null || path.isEmpty()) {
            return;
        }
        try (Writer out = new OutputStreamWriter(new FileOutputStream(path, true), StandardCharsets.UTF_8)) {
            out.write(line + "\n");
        } catch (IOException e) {
            throw new IllegalStateException("Cannot record to " + path, e);
        }
    }

    private static String thread() {
        Thread current = Thread.currentThread();
        return "daemon=" + current.isDaemon();
    }

    @Override
    public String pluginId() {
        return "PRBE";
    }

    @Override
    public short init(FunctionRegistry functions) {
        record("init " + identity);
        String mode = System.getenv("XPLUG_PROBE_MODE");
        if ("throw-init".equals(mode)) {
            throw new IllegalStateException("The probe refuses to start");
        }
        if (mode != null && mode.startsWith("answer=")) {
            return Short.parseShort(mode.substring("answer=".length()));
        }
        return 0;
    }

    @Override
    public void idle(int idleState) {
        record("idle " + idleState + " " + thread());
    }

    @Override
    public void preferences() {
        record("preferences " + thread());
    }

    @Override
    public void shutdown() {
        record("shutdown " + identity);
    }
}
