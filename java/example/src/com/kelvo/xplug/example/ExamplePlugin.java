package com.kelvo.xplug.example;

import com.kelvo.xplug.FunctionRegistry;
import com.kelvo.xplug.Plugin;
import com.kelvo.xplug.PluginBridge;
import com.kelvo.xplug.PluginContext;
import com.kelvo.xplug.PluginException;
import com.kelvo.xplug.TaskRunner;
import com.kelvo.xplug.XFunction;
import com.kelvo.xplug.types.FMBinary;
import com.kelvo.xplug.types.FMData;
import com.kelvo.xplug.types.FMText;
import com.kelvo.xplug.types.QuadChar;
import java.math.BigDecimal;
import java.nio.charset.StandardCharsets;
import java.time.LocalDateTime;
import java.util.Locale;
import java.util.concurrent.Callable;

/**
 * The example plug-in: calculation functions that show how a plug-in reads its parameters, writes its
 * result, keeps text styles, builds and reads container data, reports errors, asks FileMaker to
 * evaluate an expression or start a script, uses the clipboard and FileMaker's window, and runs a task
 * while FileMaker's thread keeps handling its messages. Each function is an annotated method; the
 * bridge registers them at start-up.
 */
public class ExamplePlugin implements Plugin {
    // Everywhere a user can write a calculation, the server's included.
    private static final int EVERYWHERE = FunctionRegistry.DISPLAY_IN_ALL_DIALOGS
                                          | FunctionRegistry.MAY_EVALUATE_ON_SERVER;
    // FileMaker's paragraph separator in calculation results.
    private static final String RETURN = "\r";

    @Override
    public String pluginId() {
        return "XPEX";
    }

    @XFunction(name = "XPEx_Version", flags = EVERYWHERE)
    public String version(PluginContext context) {
        return context.getBridge().getPluginVersion();
    }

    @XFunction(name = "XPEx_Echo", prototype = "value", flags = EVERYWHERE)
    public String echo(String value) {
        return value;
    }

    /** The text in upper case; every character keeps the style it had. */
    @XFunction(name = "XPEx_Upper", prototype = "text", flags = EVERYWHERE)
    public FMText upper(FMText text) {
        String source = text.getAsString();
        StringBuilder upper = new StringBuilder(source.length());
        // For each character of the source: where it starts, and where its upper case starts in the result
        // (upper case may be longer, as with "ß" -> "SS").
        int[] sourceStarts = new int[source.length() + 1];
        int[] resultStarts = new int[source.length() + 1];
        int characters = 0;
        for (int i = 0; i < source.length(); ) {
            int codePoint = source.codePointAt(i);
            sourceStarts[characters] = i;
            resultStarts[characters] = upper.length();
            upper.append(new String(Character.toChars(codePoint)).toUpperCase(Locale.ROOT));
            characters++;
            i += Character.charCount(codePoint);
        }
        resultStarts[characters] = upper.length();

        FMText result = FMText.create(upper.toString());
        // The host reports styles per character, and a style's color cannot be read back to compare, so
        // each character's style object is carried over as it is.
        for (int c = 0; c < characters; c++) {
            int length = resultStarts[c + 1] - resultStarts[c];
            if (length > 0) {
                result.setStyle(text.getStyle(sourceStarts[c]), resultStarts[c], length);
            }
        }
        return result;
    }

    @XFunction(name = "XPEx_Add", prototype = "a ; b", flags = EVERYWHERE)
    public BigDecimal add(BigDecimal a, BigDecimal b) {
        return (a == null ? BigDecimal.ZERO : a).add(b == null ? BigDecimal.ZERO : b);
    }

    /** A timestamp; fields out of range carry over as FileMaker's Timestamp function does. */
    @XFunction(name = "XPEx_Timestamp", prototype = "year ; month ; day ; hour ; minute ; second",
               flags = EVERYWHERE)
    public LocalDateTime timestamp(int year, int month, int day, long hour, long minute, long second) {
        return LocalDateTime.of(year, 1, 1, 0, 0)
                .plusMonths(month - 1L)
                .plusDays(day - 1L)
                .plusHours(hour)
                .plusMinutes(minute)
                .plusSeconds(second);
    }

    /** FileMaker's own seconds count of a timestamp (1970-01-01 00:00:00 is 62135683200). */
    @XFunction(name = "XPEx_Seconds", prototype = "timestamp", flags = EVERYWHERE)
    public long seconds(FMData timestamp) {
        return timestamp.getHostSeconds();
    }

    /** Container data with one stream of the given type holding the text's UTF-8 bytes. */
    @XFunction(name = "XPEx_MakeContainer", prototype = "text ; type", flags = EVERYWHERE)
    public FMBinary makeContainer(String text, String type) {
        FMBinary container = FMBinary.create();
        container.addStream(QuadChar.of(type), text.getBytes(StandardCharsets.UTF_8));
        return container;
    }

    /** One line per stream, "TYPE:size", in the container's order. */
    @XFunction(name = "XPEx_ContainerInfo", prototype = "container", flags = EVERYWHERE)
    public String containerInfo(FMBinary container) {
        StringBuilder lines = new StringBuilder();
        int count = container.getStreamCount();
        for (int i = 0; i < count; i++) {
            if (i > 0) {
                lines.append(RETURN);
            }
            lines.append(container.getTypeName(i)).append(':').append(container.getSize(i));
        }
        return lines.toString();
    }

    /** Ends with the given FileMaker error code; 0 succeeds with an empty result. */
    @XFunction(name = "XPEx_Fail", prototype = "code", flags = EVERYWHERE)
    public void fail(int code) throws PluginException {
        if (code != 0) {
            throw new PluginException(code, "XPEx_Fail was asked for error " + code);
        }
    }

    /** Throws a Java exception: FileMaker gets an error, and the log gets the stack trace. */
    @XFunction(name = "XPEx_Throw", prototype = "message", flags = EVERYWHERE)
    public void throwException(String message) {
        throw new IllegalStateException(message);
    }

    @XFunction(name = "XPEx_Reverse", prototype = "text", flags = EVERYWHERE)
    public String reverse(String text) {
        return new StringBuilder(text).reverse().toString();
    }

    /** Any number of numbers, added exactly. */
    @XFunction(name = "XPEx_Sum", prototype = "number ; ...", flags = EVERYWHERE)
    public BigDecimal sum(BigDecimal... numbers) {
        BigDecimal sum = BigDecimal.ZERO;
        for (BigDecimal number : numbers) {
            if (number != null) {
                sum = sum.add(number);
            }
        }
        return sum;
    }

    /** Evaluates a calculation in the calling calculation's context; it may call plug-in functions too. */
    @XFunction(name = "XPEx_Eval", prototype = "expression", flags = EVERYWHERE)
    public FMData evaluate(String expression, PluginContext context) throws PluginException {
        if (expression.trim().isEmpty()) {
            throw new PluginException(1200, "An empty expression cannot be evaluated");
        }
        return context.evaluateExpression(expression);
    }

    /**
     * Starts a script of a file with an optional parameter; the running script pauses meanwhile.
     * Returns 0; a script FileMaker cannot start ends the call with FileMaker's error code.
     */
    @XFunction(name = "XPEx_RunScript", prototype = "file ; script ; parameter", min = 2, flags = EVERYWHERE)
    public int runScript(String file, String script, FMData parameter, PluginContext context)
            throws PluginException {
        context.triggerScript(file, script, PluginBridge.SCRIPT_PAUSE, parameter);
        return 0;
    }

    /** Puts the text on the clipboard as Unicode text; the result is empty. */
    @XFunction(name = "XPEx_SetClipboard", prototype = "text", flags = EVERYWHERE)
    public String setClipboard(String text) {
        PluginBridge.setClipboardText(text);
        return "";
    }

    /** The clipboard's Unicode text; empty when the clipboard holds no text. */
    @XFunction(name = "XPEx_Clipboard", flags = EVERYWHERE)
    public String clipboard() {
        return PluginBridge.getClipboardText();
    }

    /** The clipboard's format numbers, one per line, in the clipboard's order. */
    @XFunction(name = "XPEx_ClipboardFormats", flags = EVERYWHERE)
    public String clipboardFormats() {
        StringBuilder lines = new StringBuilder();
        for (int format : PluginBridge.getClipboardFormatsWin()) {
            if (lines.length() > 0) {
                lines.append(RETURN);
            }
            lines.append(format);
        }
        return lines.toString();
    }

    /** The title of FileMaker's front window as it was at the first plug-in function call. */
    @XFunction(name = "XPEx_WindowTitle", flags = EVERYWHERE)
    public String windowTitle() {
        return PluginBridge.getWindowTitle(PluginBridge.getThreadWindowReference());
    }

    /**
     * Runs a task of the given length on Java's event thread while FileMaker's thread handles its window
     * messages, with FileMaker's window disabled meanwhile. The result is the number of messages
     * FileMaker's thread handled during the task, as the module's message loop counted them.
     */
    @XFunction(name = "XPEx_RunTask", prototype = "milliseconds", flags = EVERYWHERE)
    public long runTask(final long milliseconds) throws Exception {
        if (milliseconds < 0) {
            throw new PluginException(1200, "A task cannot last " + milliseconds + " milliseconds");
        }
        TaskRunner.Completed<Void> completed = TaskRunner.run(new Callable<Void>() {
            @Override
            public Void call() throws InterruptedException {
                Thread.sleep(milliseconds);
                return null;
            }
        });
        return completed.getMessagesHandled();
    }
}
