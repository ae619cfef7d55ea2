package com.kelvo.xplug.nattest;

import com.kelvo.xplug.FunctionRegistry;
import com.kelvo.xplug.HostException;
import com.kelvo.xplug.Plugin;
import com.kelvo.xplug.PluginContext;
import com.kelvo.xplug.PluginFunction;
import com.kelvo.xplug.types.FMData;
import java.lang.reflect.Field;
import java.nio.charset.StandardCharsets;

/**
 * The plug-in of the natives' tests. NT_Run(scenario ; ...) runs one scenario against the module's
 * natives and writes what it found into the result as text; an exception of a native becomes the text
 * "!" plus the exception's class (and ":code" for a host error), so that a test sees which exception
 * Java got. NT_Bare is registered with a blank prototype and no upper limit.
 */
public class NatTestPlugin implements Plugin {
    @Override
    public String pluginId() {
        return "NTST";
    }

    @Override
    public short init(FunctionRegistry functions) {
        functions.register("NT_Run", "scenario ; ...", 1, -1, FunctionRegistry.DISPLAY_IN_ALL_DIALOGS,
                new PluginFunction() {
                    @Override
                    public short invoke(FMData[] parameters, FMData result, PluginContext context) {
                        return run(parameters, result, context);
                    }
                });
        functions.register("NT_Bare", "   ", 0, -1, 0, new PluginFunction() {
            @Override
            public short invoke(FMData[] parameters, FMData result, PluginContext context) {
                return 0;
            }
        });
        return 0;
    }

    private static long token(FMData data) {
        try {
            Field field = FMData.class.getDeclaredField("cDataToken");
            field.setAccessible(true);
            return field.getLong(data);
        } catch (Exception failure) {
            throw new IllegalStateException(failure);
        }
    }

    static short run(FMData[] parameters, FMData resultData, PluginContext context) {
        long result = token(resultData);
        long[] p = new long[parameters.length];
        for (int i = 0; i < p.length; i++) {
            p[i] = token(parameters[i]);
        }
        try {
            String scenario = Natives.getString(p[0]);
            if (scenario.equals("fail")) {
                return (short) Natives.getLong(p[1]);
            }
            if (scenario.equals("startScript")) {
                // The host's script-start callback, as the relay handed it to the call's context.
                Field field = PluginContext.class.getDeclaredField("cStartScript");
                field.setAccessible(true);
                Natives.setString(result, Long.toHexString(field.getLong(context)));
                return 0;
            }
            String answer = Scenarios.run(scenario, p, result);
            if (answer != null) {
                Natives.setString(result, answer);
            }
            return 0;
        } catch (Throwable failure) {
            String marker = "!" + failure.getClass().getSimpleName();
            if (failure instanceof HostException) {
                marker += ":" + ((HostException) failure).getCode();
            }
            try {
                Natives.setString(result, marker);
            } catch (Throwable ignored) {
                return -2;
            }
            return 0;
        }
    }

    static String utf8(byte[] bytes) {
        return new String(bytes, StandardCharsets.UTF_8);
    }
}
