package com.kelvo.xplug;

import com.kelvo.xplug.types.FMData;
import java.lang.reflect.Array;
import java.lang.reflect.InvocationTargetException;
import java.lang.reflect.Method;
import java.lang.reflect.Modifier;

/**
 * A calculation function whose body is an annotated Java method. Everything the call needs (the method
 * made callable, one conversion per parameter and one for the result) is worked out once, when the
 * function is registered; a call only converts and invokes. The method is called through core
 * reflection rather than a method handle: adapting handles to a spread argument array spins dozens of
 * classes while the plug-in starts, a large part of its start-up time, and a call costs about the same
 * either way. Built on FileMaker's thread during start-up; called on the thread of each function call.
 */
final class MethodFunction implements PluginFunction {
    // One slot of the method's parameter list.
    private static final int VALUE = 0;
    private static final int CONTEXT = 1;
    private static final int TRAILING_ARRAY = 2;

    final String name;
    final String prototype;
    final String description;
    final int minParameters;
    final int maxParameters;
    final int flags;

    private final String methodText;
    private final Method method;
    private final Object target;
    private final int[] slotKinds;
    private final ValueConversions.Reader[] readers;
    private final Class<?> trailingElementType;
    private final int fixedValueCount;
    private final ValueConversions.Writer writer;

    private MethodFunction(XFunction annotation, Method method, Object target, int[] slotKinds,
                           ValueConversions.Reader[] readers, Class<?> trailingElementType, int fixedValueCount,
                           int minParameters, int maxParameters, ValueConversions.Writer writer) {
        this.name = annotation.name();
        this.prototype = annotation.prototype();
        this.description = annotation.description();
        this.flags = annotation.flags();
        this.methodText = method.toString();
        this.method = method;
        this.target = target;
        this.slotKinds = slotKinds;
        this.readers = readers;
        this.trailingElementType = trailingElementType;
        this.fixedValueCount = fixedValueCount;
        this.minParameters = minParameters;
        this.maxParameters = maxParameters;
        this.writer = writer;
    }

    /**
     * The function of an annotated method; {@code target} is the object it is called on (null for a
     * static method).
     *
     * @throws IllegalArgumentException naming the method when its signature or annotation cannot be
     *         served
     */
    static MethodFunction of(Object target, Method method) {
        XFunction annotation = method.getAnnotation(XFunction.class);
        if (annotation == null) {
            throw new IllegalArgumentException(method + " has no @XFunction annotation");
        }
        String where = method + " (@XFunction \"" + annotation.name() + "\")";
        if (annotation.name() == null || annotation.name().trim().isEmpty()) {
            throw new IllegalArgumentException(where + ": a function needs a name");
        }
        boolean isStatic = Modifier.isStatic(method.getModifiers());
        if (!isStatic && target == null) {
            throw new IllegalArgumentException(where + ": an instance method needs an object to be called on");
        }

        Class<?>[] types = method.getParameterTypes();
        int[] kinds = new int[types.length];
        ValueConversions.Reader[] readers = new ValueConversions.Reader[types.length];
        Class<?> trailing = null;
        int values = 0;
        for (int i = 0; i < types.length; i++) {
            Class<?> type = types[i];
            if (type == PluginContext.class) {
                kinds[i] = CONTEXT;
            } else if (ValueConversions.isParameterType(type)) {
                kinds[i] = VALUE;
                readers[i] = ValueConversions.readerFor(type);
                values++;
            } else if (type.isArray() && i == types.length - 1 && !type.getComponentType().isPrimitive()
                       && ValueConversions.isParameterType(type.getComponentType())) {
                kinds[i] = TRAILING_ARRAY;
                trailing = type.getComponentType();
                readers[i] = ValueConversions.readerFor(trailing);
            } else {
                throw new IllegalArgumentException(where + ": parameter " + (i + 1) + " has the type "
                                                   + type.getName() + ", which no FileMaker value converts to");
            }
        }
        ValueConversions.Writer writer = ValueConversions.writerFor(method.getReturnType());
        if (writer == null) {
            throw new IllegalArgumentException(where + ": the result type " + method.getReturnType().getName()
                                               + " does not convert to a FileMaker value");
        }

        int min = annotation.min() == XFunction.FROM_METHOD ? values : annotation.min();
        int max = annotation.max() == XFunction.FROM_METHOD ? (trailing != null ? -1 : values) : annotation.max();
        if (min < 0 || (max != -1 && max < min)) {
            throw new IllegalArgumentException(where + ": the parameter counts " + min + " to " + max
                                               + " are no range");
        }
        if (trailing == null && (max == -1 || max > values)) {
            throw new IllegalArgumentException(where + ": up to " + (max == -1 ? "any number of" : max)
                                               + " parameters allowed, but the method takes " + values);
        }
        if (min > values && trailing == null) {
            throw new IllegalArgumentException(where + ": at least " + min + " parameters required, but the method"
                                               + " takes " + values);
        }

        try {
            if (!Modifier.isPublic(method.getModifiers())
                || !Modifier.isPublic(method.getDeclaringClass().getModifiers())) {
                method.setAccessible(true);
            }
        } catch (RuntimeException failure) {
            throw new IllegalArgumentException(where + ": the bridge may not call the method", failure);
        }
        return new MethodFunction(annotation, method, isStatic ? null : target, kinds, readers, trailing, values,
                                  min, max, writer);
    }

    @Override
    public short invoke(FMData[] parameters, FMData result, PluginContext context) throws Exception {
        Object[] arguments = new Object[slotKinds.length];
        int next = 0;
        for (int i = 0; i < slotKinds.length; i++) {
            switch (slotKinds[i]) {
                case VALUE:
                    arguments[i] = next < parameters.length ? readers[i].read(parameters[next]) : readers[i].absent();
                    next++;
                    break;
                case CONTEXT:
                    arguments[i] = context;
                    break;
                default:
                    arguments[i] = readTrailing(readers[i], parameters, next);
                    break;
            }
        }
        Object value;
        try {
            value = method.invoke(target, arguments);
        } catch (InvocationTargetException thrown) {
            // The method's own failure goes on as the method threw it, as the callers' handlers expect.
            Throwable failure = thrown.getCause();
            if (failure instanceof Exception) {
                throw (Exception) failure;
            }
            if (failure instanceof Error) {
                throw (Error) failure;
            }
            throw new IllegalStateException(methodText + " threw " + failure, failure);
        }
        writer.write(result, value);
        return 0;
    }

    private Object readTrailing(ValueConversions.Reader reader, FMData[] parameters, int first) {
        int count = Math.max(0, parameters.length - first);
        Object array = Array.newInstance(trailingElementType, count);
        for (int i = 0; i < count; i++) {
            Array.set(array, i, reader.read(parameters[first + i]));
        }
        return array;
    }

    @Override
    public String toString() {
        return name + " -> " + methodText + " (" + fixedValueCount + " fixed parameters)";
    }
}
