package com.kelvo.xplug.example;

import com.kelvo.xplug.FunctionRegistry;
import com.kelvo.xplug.Plugin;
import com.kelvo.xplug.PluginException;
import com.kelvo.xplug.types.FMData;

/**
 * The example plug-in: a handful of calculation functions that show how a plug-in reads its
 * parameters, writes its result and asks FileMaker to evaluate an expression.
 */
public class ExamplePlugin implements Plugin {
    static final String VERSION = "1.0";

    @Override
    public String pluginId() {
        return "XPEX";
    }

    @Override
    public short init(FunctionRegistry functions) {
        int flags = FunctionRegistry.DISPLAY_IN_ALL_DIALOGS | FunctionRegistry.MAY_EVALUATE_ON_SERVER;
        functions.register("XPEX_Version", "", 0, 0, flags, (parameters, result, context) -> {
            result.setAsString("xplug example " + VERSION);
            return 0;
        });
        functions.register("XPEX_Echo", "text", 1, 1, flags, (parameters, result, context) -> {
            result.setAsString(parameters[0].getAsString());
            return 0;
        });
        functions.register("XPEX_Reverse", "text", 1, 1, flags, (parameters, result, context) -> {
            result.setAsString(new StringBuilder(parameters[0].getAsString()).reverse().toString());
            return 0;
        });
        functions.register("XPEX_Sum", "number ; ...", 0, -1, flags, (parameters, result, context) -> {
            double sum = 0;
            for (FMData parameter : parameters) {
                sum += parameter.getAsDouble();
            }
            result.setAsString(sum == Math.rint(sum) && Math.abs(sum) < 1e15 ? Long.toString((long) sum)
                                                                             : Double.toString(sum));
            return 0;
        });
        functions.register("XPEX_Evaluate", "expression", 1, 1, flags, (parameters, result, context) -> {
            String expression = parameters[0].getAsString();
            if (expression.trim().isEmpty()) {
                throw new PluginException((short) 1200, "An empty expression cannot be evaluated");
            }
            result.setAsString(context.evaluateExpression(expression).getAsString());
            return 0;
        });
        return 0;
    }
}
