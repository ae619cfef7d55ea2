package com.kelvo.xplug.svctest;

import com.kelvo.xplug.FunctionRegistry;
import com.kelvo.xplug.Plugin;
import com.kelvo.xplug.PluginBridge;
import com.kelvo.xplug.PluginContext;
import com.kelvo.xplug.PluginException;
import com.kelvo.xplug.PluginFunction;
import com.kelvo.xplug.ScriptStartException;
import com.kelvo.xplug.TaskRunner;
import com.kelvo.xplug.types.FMData;
import com.kelvo.xplug.types.FMText;
import java.lang.reflect.Field;
import java.lang.reflect.InvocationTargetException;
import java.lang.reflect.Method;
import java.util.concurrent.Callable;
import java.util.concurrent.CountDownLatch;
import java.util.concurrent.TimeUnit;

/**
 * The plug-in of the host services' tests. SV_Run(scenario ; ...) runs one scenario against the
 * service natives, mostly by calling them directly (by reflection, past the checks of the public
 * methods), and writes what it found into the result as text. An exception becomes "!" and the
 * exception's class, plus ":" and the code for a FileMaker error, so that a test sees what Java got.
 */
public class SvcTestPlugin implements Plugin {
    @Override
    public String pluginId() {
        return "SVTS";
    }

    // An evaluation asked for at the next idle call, outside any function call, and what it found.
    private static volatile String idleExpression;
    private static volatile String idleAnswer = "";
    // Counted down by the nested call that FileMaker's window procedure makes during a task.
    private static volatile CountDownLatch nestedCall = new CountDownLatch(1);

    @Override
    public void idle(int idleState) {
        String expression = idleExpression;
        if (expression == null) {
            return;
        }
        idleExpression = null;
        try {
            PluginBridge bridge = (PluginBridge) call(PluginBridge.class, null, "current");
            long callback = (Long) call(PluginBridge.class, bridge, "getEnvCallback");
            java.lang.reflect.Constructor<PluginContext> make = PluginContext.class.getDeclaredConstructor(
                    PluginBridge.class, long.class, long.class, long.class);
            make.setAccessible(true);
            PluginContext context = make.newInstance(bridge, 0L, 0L, callback);
            FMText before = FMText.create("before");
            FMData result = context.evaluateExpression(expression);
            idleAnswer = before.getAsString() + "|" + result.getAsString();
        } catch (Throwable failure) {
            idleAnswer = describe(failure);
        }
    }

    @Override
    public short init(FunctionRegistry functions) {
        functions.register("SV_Run", "scenario ; ...", 1, -1, FunctionRegistry.DISPLAY_IN_ALL_DIALOGS,
                new PluginFunction() {
                    @Override
                    public short invoke(FMData[] parameters, FMData result, PluginContext context) {
                        String answer;
                        try {
                            answer = run(parameters, context);
                        } catch (Throwable failure) {
                            answer = describe(failure);
                        }
                        result.setAsString(answer);
                        return 0;
                    }
                });
        return 0;
    }

    private static String describe(Throwable failure) {
        String text = "!" + failure.getClass().getSimpleName();
        if (failure instanceof PluginException) {
            text += ":" + ((PluginException) failure).getCode();
        }
        return text;
    }

    private static Object call(Class<?> type, Object receiver, String name, Object... arguments) throws Throwable {
        for (Method method : type.getDeclaredMethods()) {
            if (method.getName().equals(name)) {
                method.setAccessible(true);
                try {
                    return method.invoke(receiver, arguments);
                } catch (InvocationTargetException failure) {
                    throw failure.getCause();
                }
            }
        }
        throw new NoSuchMethodException(name);
    }

    private static Object bridge(String name, Object... arguments) throws Throwable {
        return call(PluginBridge.class, null, name, arguments);
    }

    private static Object field(Object owner, String name) throws Exception {
        Field field = owner.getClass().getDeclaredField(name);
        field.setAccessible(true);
        return field.get(owner);
    }

    private static long number(FMData[] parameters, int index) {
        return Long.parseLong(parameters[index].getAsString().trim());
    }

    private static String hex(byte[] bytes) {
        StringBuilder text = new StringBuilder();
        for (byte b : bytes) {
            if (text.length() > 0) {
                text.append(' ');
            }
            text.append(String.format("%02x", b & 0xFF));
        }
        return text.toString();
    }

    private static byte[] bytes(String hex) {
        String[] parts = hex.trim().isEmpty() ? new String[0] : hex.trim().split(" ");
        byte[] bytes = new byte[parts.length];
        for (int i = 0; i < parts.length; i++) {
            bytes[i] = (byte) Integer.parseInt(parts[i], 16);
        }
        return bytes;
    }

    private static String join(int[] values) {
        StringBuilder text = new StringBuilder();
        for (int value : values) {
            if (text.length() > 0) {
                text.append(',');
            }
            text.append(value);
        }
        return text.toString();
    }

    static String run(FMData[] p, final PluginContext context) throws Throwable {
        String scenario = p[0].getAsString();
        // ---- Evaluation and scripts
        if (scenario.equals("eval")) {
            return context.evaluateExpression(p[1].getAsString()).getAsString();
        }
        if (scenario.equals("evalKeepsOuterObjects")) {
            // Objects made before an evaluation whose expression calls back into the plug-in outlive it.
            FMText before = FMText.create("before");
            FMData result = context.evaluateExpression(p[1].getAsString());
            FMData second = context.evaluateExpression(p[1].getAsString());
            return before.getAsString() + "|" + result.getAsString() + "|" + second.getAsString();
        }
        if (scenario.equals("evaluateAtIdle")) {
            idleExpression = p[1].getAsString();
            return "";
        }
        if (scenario.equals("idleAnswer")) {
            return idleAnswer;
        }
        if (scenario.equals("resultBeforeEvaluation")) {
            return String.valueOf(call(PluginContext.class, context, "_getExpressionResult"));
        }
        if (scenario.equals("evalCurrent")) {
            // The current-environment path, as evaluations outside a function call take it.
            long callback = (Long) field(context, "envCallback");
            short code = (Short) call(PluginContext.class, context, "_evaluateExpression", p[1].getAsString(), 0L,
                    callback, true);
            long handle = (Long) call(PluginContext.class, context, "_getExpressionResult");
            FMData result = new FMData(handle);
            return code + "|" + (handle != 0) + "|" + (code == 0 ? result.getAsString() : String.valueOf(result.isEmpty()));
        }
        if (scenario.equals("evalCurrentWithoutCallback")) {
            return String.valueOf(call(PluginContext.class, context, "_evaluateExpression", "1+1", 0L, 0L, true));
        }
        if (scenario.equals("evalOffThread")) {
            final String[] answer = new String[1];
            Thread other = new Thread(new Runnable() {
                @Override
                public void run() {
                    try {
                        answer[0] = context.evaluateExpression("2*21").getAsString();
                    } catch (Throwable failure) {
                        answer[0] = describe(failure);
                    }
                }
            }, "svc-test-thread");
            other.start();
            other.join();
            return answer[0];
        }
        if (scenario.equals("script")) {
            FMData parameter = p.length > 3 ? p[3] : null;
            try {
                context.triggerScript(p[1].getAsString(), p[2].getAsString(), PluginBridge.SCRIPT_PAUSE, parameter);
                return "started";
            } catch (ScriptStartException failure) {
                return describe(failure) + ":" + failure.getFileName() + ":" + failure.getScriptName();
            }
        }
        if (scenario.equals("scriptRaw")) {
            // The parameter handle and start-script address exactly as given.
            return String.valueOf(call(PluginContext.class, context, "_triggerScript", p[1].getAsString(),
                    p[2].getAsString(), (int) number(p, 3), number(p, 4), number(p, 5)));
        }
        if (scenario.equals("nulls")) {
            StringBuilder text = new StringBuilder();
            Object[][] cases = {
                {"_triggerScript", new Object[] {"File", null, 0, 0L, 0L}},
                {"_triggerScript", new Object[] {null, "Script", 0, 0L, 0L}},
                {"_evaluateExpression", new Object[] {null, 0L, 0L, true}},
            };
            for (Object[] c : cases) {
                try {
                    text.append(call(PluginContext.class, context, (String) c[0], (Object[]) c[1]));
                } catch (Throwable failure) {
                    text.append(describe(failure));
                }
                text.append(';');
            }
            try {
                bridge("_setClipboardData", 13, null);
                text.append("set");
            } catch (Throwable failure) {
                text.append(describe(failure));
            }
            return text.toString();
        }
        // ---- Windows
        if (scenario.equals("threadWindow")) {
            return String.valueOf(bridge("_getThreadWindowReference"));
        }
        if (scenario.equals("frontWindow")) {
            return String.valueOf(bridge("_getFrontWindowReference"));
        }
        if (scenario.equals("title")) {
            return (String) bridge("_getWindowTitle", number(p, 1));
        }
        if (scenario.equals("windowFacts")) {
            long window = number(p, 1);
            return bridge("_getParentWindowReference", window) + "|" + bridge("_getWindowThreadId", window) + "|"
                    + bridge("_isChildWindow", window) + "|" + bridge("_getCurrentThreadId");
        }
        if (scenario.equals("enable")) {
            bridge("_enableWindow", number(p, 1), number(p, 2) != 0);
            return "";
        }
        if (scenario.equals("foreground")) {
            return String.valueOf(bridge("_setForegroundWindow", number(p, 1)));
        }
        if (scenario.equals("setParent")) {
            return String.valueOf(bridge("_setWindowParent", number(p, 1), number(p, 2)));
        }
        // ---- Clipboard
        if (scenario.equals("formats")) {
            return join((int[]) bridge("_getClipboardFormatsWin"));
        }
        if (scenario.equals("get")) {
            return hex((byte[]) bridge("_getClipboardData", (int) number(p, 1)));
        }
        if (scenario.equals("set")) {
            bridge("_setClipboardData", (int) number(p, 1), bytes(p.length > 2 ? p[2].getAsString() : ""));
            return "";
        }
        if (scenario.equals("text")) {
            PluginBridge.setClipboardText(p[1].getAsString());
            return PluginBridge.getClipboardText();
        }
        // ---- Event loop
        if (scenario.equals("task")) {
            final long milliseconds = number(p, 1);
            final boolean fail = p.length > 2 && p[2].getAsString().equals("throw");
            TaskRunner.Completed<String> done = TaskRunner.run(new Callable<String>() {
                @Override
                public String call() throws Exception {
                    Thread.sleep(milliseconds);
                    if (fail) {
                        throw new IllegalStateException("the task failed");
                    }
                    return Thread.currentThread().getName();
                }
            });
            return done.getValue() + "|" + done.getMessagesHandled();
        }
        if (scenario.equals("taskValues")) {
            // The task makes values on the event thread (no call of its own), wakes FileMaker's window,
            // whose procedure idles and calls SV_Run("nested"), and reads its values back afterwards.
            final long window = (Long) bridge("_getThreadWindowReference");
            nestedCall = new CountDownLatch(1);
            TaskRunner.Completed<String> done = TaskRunner.run(new Callable<String>() {
                @Override
                public String call() {
                    try {
                        FMText text = FMText.create("made by the task");
                        FMData data = FMData.createEmpty();
                        text.writeToData(data);
                        bridge("_postWakeMessage", window);
                        if (!nestedCall.await(30, TimeUnit.SECONDS)) {
                            return "!no nested call";
                        }
                        text.append(" and kept");
                        return text.getAsString() + "|" + data.getAsString();
                    } catch (Throwable failure) {
                        return describe(failure);
                    }
                }
            });
            return done.getValue();
        }
        if (scenario.equals("taskTouchesWindow")) {
            // Window operations that Windows sends to the window's thread, made by the task on the event
            // thread while FileMaker's thread pumps: they are answered there, so the task ends.
            final long window = (Long) bridge("_getThreadWindowReference");
            TaskRunner.Completed<String> done = TaskRunner.run(new Callable<String>() {
                @Override
                public String call() {
                    try {
                        String title = (String) bridge("_getWindowTitle", window);
                        bridge("_enableWindow", window, false);
                        return title;
                    } catch (Throwable failure) {
                        return describe(failure);
                    }
                }
            });
            return done.getValue();
        }
        if (scenario.equals("nested")) {
            FMText.create("made by the nested call");
            nestedCall.countDown();
            return "nested";
        }
        if (scenario.equals("pump")) {
            bridge("_pumpOneEvent", number(p, 1));
            return "";
        }
        if (scenario.equals("startLoop")) {
            bridge("_startEventLoop", number(p, 1));
            return "";
        }
        if (scenario.equals("stopLoop")) {
            bridge("_stopEventLoop", 0L);
            return "";
        }
        return "!unknown scenario " + scenario;
    }
}
