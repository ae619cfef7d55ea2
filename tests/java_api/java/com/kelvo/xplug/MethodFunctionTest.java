package com.kelvo.xplug;

import static com.kelvo.xplug.ApiTestRunner.expectEqual;
import static com.kelvo.xplug.ApiTestRunner.expectThrows;

import com.kelvo.xplug.types.FMData;
import java.lang.reflect.Method;
import java.math.BigDecimal;
import java.util.ArrayList;
import java.util.Arrays;
import java.util.List;

/**
 * How an annotated method becomes a function: its parameter counts, the signatures refused at
 * registration, and a call's arguments (with FMData and PluginContext parameters, which need no host).
 */
public final class MethodFunctionTest {
    private MethodFunctionTest() {}

    /** Annotated methods for the checks; each records the arguments it was called with. */
    public static class Functions {
        final List<Object> received = new ArrayList<Object>();

        @XFunction(name = "Two")
        public String two(String a, BigDecimal b) {
            return null;
        }

        @XFunction(name = "ContextOnly")
        public String contextOnly(PluginContext context) {
            return null;
        }

        @XFunction(name = "Trailing")
        public String trailing(String first, String... rest) {
            return null;
        }

        @XFunction(name = "Optional", min = 1)
        public String optional(String a, Integer b, int c) {
            return null;
        }

        @XFunction(name = "Given", min = 0, max = 5)
        public String given(FMData... values) {
            return null;
        }

        @XFunction(name = "Flags", flags = 0x42, prototype = "x")
        static void flagged(FMData value) {}

        @XFunction(name = "Record")
        public void record(FMData first, PluginContext context, FMData second, FMData... rest) {
            received.add(first);
            received.add(context);
            received.add(second);
            received.add(Arrays.asList(rest));
        }

        @XFunction(name = "RecordOptional", min = 0)
        void recordOptional(FMData value) {
            received.add(value == null ? "absent" : value);
        }

        @XFunction(name = "Throws")
        public void throwsIt(FMData value) {
            throw new IllegalStateException("thrown as it is");
        }

        @XFunction(name = "Chooses")
        public void chooses(FMData value) throws PluginException {
            throw new PluginException(7, "seven");
        }

        @XFunction(name = "BadParameter")
        public String badParameter(Object value) {
            return null;
        }

        @XFunction(name = "BadResult")
        public Object badResult(String value) {
            return null;
        }

        @XFunction(name = "PrimitiveArray")
        public String primitiveArray(int[] values) {
            return null;
        }

        @XFunction(name = "TooMany", max = 3)
        public String tooMany(String a, String b) {
            return null;
        }

        @XFunction(name = "Inverted", min = 2, max = 1)
        public String inverted(String a, String b) {
            return null;
        }

        @XFunction(name = "ArrayNotLast")
        public String arrayNotLast(String[] values, String last) {
            return null;
        }
    }

    private static Method method(String name) {
        for (Method method : Functions.class.getDeclaredMethods()) {
            XFunction annotation = method.getAnnotation(XFunction.class);
            if (annotation != null && annotation.name().equals(name)) {
                return method;
            }
        }
        throw new AssertionError("no function " + name);
    }

    private static MethodFunction of(Functions target, String name) {
        return MethodFunction.of(target, method(name));
    }

    public static void checkParameterCountsFollowTheMethodUnlessGiven() {
        Functions target = new Functions();
        Object[][] cases = {
                // name, min, max
                {"Two", 2, 2},
                {"ContextOnly", 0, 0},
                {"Trailing", 1, -1},
                {"Optional", 1, 3},
                {"Given", 0, 5},
                {"Flags", 1, 1},
        };
        for (Object[] c : cases) {
            MethodFunction function = of(target, (String) c[0]);
            expectEqual(c[1], function.minParameters, c[0] + " min");
            expectEqual(c[2], function.maxParameters, c[0] + " max");
        }
        MethodFunction flagged = of(target, "Flags");
        expectEqual(0x42, flagged.flags, "flags");
        expectEqual("x", flagged.prototype, "prototype");
        expectEqual(FunctionRegistry.DISPLAY_IN_ALL_DIALOGS, of(target, "Two").flags, "default flags");
    }

    public static void checkSignaturesThatCannotBeServedAreRefusedByName() {
        final Functions target = new Functions();
        String[][] cases = {
                {"BadParameter", "java.lang.Object, which no FileMaker value converts to"},
                {"BadResult", "result type java.lang.Object"},
                {"PrimitiveArray", "[I"},
                {"TooMany", "up to 3 parameters"},
                {"Inverted", "no range"},
                {"ArrayNotLast", "parameter 1"},
        };
        for (final String[] c : cases) {
            expectThrows(IllegalArgumentException.class, c[1], new ApiTestRunner.Body() {
                @Override
                public void run() {
                    of(target, c[0]);
                }
            });
            expectThrows(IllegalArgumentException.class, "@XFunction \"" + c[0] + "\"", new ApiTestRunner.Body() {
                @Override
                public void run() {
                    of(target, c[0]);
                }
            });
        }
        expectThrows(IllegalArgumentException.class, "needs an object", new ApiTestRunner.Body() {
            @Override
            public void run() {
                MethodFunction.of(null, method("Two"));
            }
        });
    }

    public static void checkACallPassesParametersContextAndTheRestInOrder() throws Exception {
        Functions target = new Functions();
        FMData a = new FMData(1);
        FMData b = new FMData(2);
        FMData c = new FMData(3);
        FMData d = new FMData(4);
        PluginContext context = new PluginContext(null, 0, 0, 0);
        short code = of(target, "Record").invoke(new FMData[] {a, b, c, d}, new FMData(9), context);
        expectEqual((short) 0, code, "code");
        expectEqual(Arrays.asList(a, context, b, Arrays.asList(c, d)), target.received, "arguments");

        target.received.clear();
        of(target, "Record").invoke(new FMData[] {a, b}, new FMData(9), context);
        expectEqual(Arrays.asList(a, context, b, Arrays.asList()), target.received, "no trailing parameters");
    }

    public static void checkALeftOutParameterArrivesAsNull() throws Exception {
        Functions target = new Functions();
        FMData a = new FMData(1);
        MethodFunction function = of(target, "RecordOptional");
        function.invoke(new FMData[0], new FMData(9), null);
        function.invoke(new FMData[] {a}, new FMData(9), null);
        expectEqual(Arrays.asList("absent", a), target.received, "arguments");
    }

    public static void checkExceptionsOfTheMethodReachTheBridgeUnwrapped() {
        final Functions target = new Functions();
        expectThrows(IllegalStateException.class, "thrown as it is", new ApiTestRunner.Body() {
            @Override
            public void run() throws Exception {
                of(target, "Throws").invoke(new FMData[] {new FMData(1)}, new FMData(9), null);
            }
        });
        try {
            of(target, "Chooses").invoke(new FMData[] {new FMData(1)}, new FMData(9), null);
            throw new AssertionError("Chooses did not throw");
        } catch (PluginException chosen) {
            expectEqual((short) 7, chosen.getCode(), "code");
        } catch (Exception other) {
            throw new AssertionError("expected the PluginException itself", other);
        }
    }

    public static void checkPluginExceptionCodes() {
        expectEqual((short) 7, new PluginException(7).getCode(), "7");
        expectEqual((short) -1, new PluginException(0, "no code").getCode(), "0 means no particular code");
        expectEqual((short) -32768, new PluginException(-32768).getCode(), "lowest");
        expectThrows(IllegalArgumentException.class, "16-bit", new ApiTestRunner.Body() {
            @Override
            public void run() {
                new PluginException(32768);
            }
        });
    }
}
