package com.kelvo.xplug;

import java.lang.annotation.Documented;
import java.lang.annotation.ElementType;
import java.lang.annotation.Retention;
import java.lang.annotation.RetentionPolicy;
import java.lang.annotation.Target;

/**
 * Marks a method as a FileMaker calculation function. The bridge registers the annotated methods of the
 * plug-in object at start-up; {@link FunctionRegistry#registerAnnotated} registers those of any other
 * object or class. Parameters and the result convert between FileMaker values and Java types by the
 * method's signature (see {@link FunctionRegistry#registerAnnotated} for the table of types).
 *
 * <pre>
 * &#64;XFunction(name = "XPEx_Add", prototype = "a ; b")
 * public BigDecimal add(BigDecimal a, BigDecimal b) { return a.add(b); }
 * </pre>
 */
@Documented
@Retention(RetentionPolicy.RUNTIME)
@Target(ElementType.METHOD)
public @interface XFunction {
    /** The value of {@link #min} and {@link #max} that lets the method's parameters decide. */
    int FROM_METHOD = Integer.MIN_VALUE;

    /** The function's name as calculations spell it. */
    String name();

    /** The parameter list FileMaker shows, for example "text ; count"; blank shows the bare name. */
    String prototype() default "";

    /**
     * What the function does, in one line; FileMaker shows it beside the function in the calculation
     * dialog, and {@code fmsim --functions} prints it. Blank registers the function without one.
     */
    String description() default "";

    /** Where the function is available; {@link FunctionRegistry#DISPLAY_IN_ALL_DIALOGS} and the like. */
    int flags() default FunctionRegistry.DISPLAY_IN_ALL_DIALOGS;

    /**
     * The least number of parameters. By default every parameter is required (all but a trailing array
     * of varying length). Parameters beyond a smaller minimum may be left out; they arrive as null, or
     * as 0 and false for primitive types.
     */
    int min() default FROM_METHOD;

    /** The most parameters, -1 for no limit. By default the method's count, or -1 with a trailing array. */
    int max() default FROM_METHOD;
}
