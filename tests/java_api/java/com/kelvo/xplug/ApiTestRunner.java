package com.kelvo.xplug;

import java.lang.reflect.InvocationTargetException;
import java.lang.reflect.Method;
import java.lang.reflect.Modifier;
import java.util.Arrays;
import java.util.Comparator;

/**
 * Runs every public static no-argument method whose name starts with "check" in the test classes,
 * prints each failure with its stack trace and exits with 1 when any failed.
 */
public final class ApiTestRunner {
    private static final String[] CLASSES = {"com.kelvo.xplug.MethodFunctionTest",
                                             "com.kelvo.xplug.types.ValueTypesTest"};

    private ApiTestRunner() {}

    public static void main(String[] arguments) throws Exception {
        int failed = 0;
        int run = 0;
        for (String name : CLASSES) {
            Method[] methods = Class.forName(name).getMethods();
            Arrays.sort(methods, new Comparator<Method>() {
                @Override
                public int compare(Method a, Method b) {
                    return a.getName().compareTo(b.getName());
                }
            });
            for (Method method : methods) {
                if (!method.getName().startsWith("check") || !Modifier.isStatic(method.getModifiers())
                    || method.getParameterTypes().length != 0) {
                    continue;
                }
                run++;
                try {
                    method.invoke(null);
                    System.out.println("ok     " + name + "." + method.getName());
                } catch (InvocationTargetException failure) {
                    failed++;
                    System.out.println("FAILED " + name + "." + method.getName());
                    failure.getCause().printStackTrace(System.out);
                }
            }
        }
        System.out.println(run + " checks, " + failed + " failed");
        if (run == 0 || failed > 0) {
            System.exit(1);
        }
    }

    /** Fails unless the two are equal. */
    public static void expectEqual(Object expected, Object actual, String what) {
        if (expected == null ? actual != null : !expected.equals(actual)) {
            throw new AssertionError(what + ": expected <" + expected + "> but was <" + actual + ">");
        }
    }

    /** A body that is expected to throw. */
    public interface Body {
        void run() throws Throwable;
    }

    /** Fails unless the body throws the type with a message containing {@code messagePart}. */
    public static void expectThrows(Class<? extends Throwable> type, String messagePart, Body body) {
        try {
            body.run();
        } catch (Throwable thrown) {
            if (!type.isInstance(thrown)) {
                throw new AssertionError("expected " + type.getName() + " but got " + thrown, thrown);
            }
            String message = String.valueOf(thrown.getMessage());
            if (!message.contains(messagePart)) {
                throw new AssertionError("expected a message with \"" + messagePart + "\" but got \"" + message
                                         + "\"", thrown);
            }
            return;
        }
        throw new AssertionError("expected " + type.getName() + " (" + messagePart + ") but nothing was thrown");
    }
}
