package com.kelvo.xplug;

import java.lang.reflect.Method;
import java.lang.reflect.Modifier;
import java.util.ArrayList;
import java.util.Arrays;
import java.util.Collections;
import java.util.Comparator;
import java.util.HashSet;
import java.util.IdentityHashMap;
import java.util.List;
import java.util.Map;
import java.util.Set;

/**
 * The plug-in's calculation functions. Each registration is passed on to FileMaker at once and gets the
 * next function id; FileMaker hands that id back on every call. Registration happens during start-up
 * on FileMaker's thread; a new start-up begins a new table. Lookups by id may come from any thread.
 */
public final class FunctionRegistry {
    /** The function may be used in every FileMaker calculation dialog and on every host. */
    public static final int DISPLAY_IN_ALL_DIALOGS = 0x0000FF00;
    /** The function may also be evaluated on a server host. */
    public static final int MAY_EVALUATE_ON_SERVER = 0x00000001;

    private final PluginBridge bridge;
    private final String pluginId;
    // Replaced whole on each registration, so that a call's lookup is one read without a lock.
    private volatile Entry[] entries = new Entry[0];
    private final Map<Object, Boolean> annotatedTargets = new IdentityHashMap<Object, Boolean>();

    private static final class Entry {
        final String name;
        final PluginFunction function;

        Entry(String name, PluginFunction function) {
            this.name = name;
            this.function = function;
        }
    }

    FunctionRegistry(PluginBridge bridge, String pluginId) {
        this.bridge = bridge;
        this.pluginId = pluginId;
    }

    /**
     * Registers one function with FileMaker.
     *
     * @param name the function's name as calculations spell it
     * @param prototype its parameter list as FileMaker shows it (for example "text ; count"), or blank
     * @param minParameters the least number of parameters
     * @param maxParameters the most parameters, -1 for no limit
     * @param flags where the function is available, for example {@link #DISPLAY_IN_ALL_DIALOGS}
     * @return the function's id
     */
    public synchronized short register(String name, String prototype, int minParameters, int maxParameters,
                                       int flags, PluginFunction function) {
        return register(name, prototype, "", minParameters, maxParameters, flags, function);
    }

    /**
     * Registers one function with FileMaker, with a description that FileMaker shows beside it.
     *
     * @param description what the function does, in one line; blank for none
     * @see #register(String, String, int, int, int, PluginFunction)
     */
    public synchronized short register(String name, String prototype, String description, int minParameters,
                                       int maxParameters, int flags, PluginFunction function) {
        if (name == null || name.trim().isEmpty()) {
            throw new IllegalArgumentException("A function needs a name");
        }
        if (function == null) {
            throw new NullPointerException("function");
        }
        if (entries.length >= Short.MAX_VALUE) {
            throw new IllegalStateException("Too many functions");
        }
        short id = (short) entries.length;
        String prototypeText = prototype == null || prototype.trim().isEmpty()
                ? name : name + "( " + prototype + " )";
        bridge.registerWithHost(pluginId, id, name, prototypeText, description, minParameters, maxParameters,
                flags);
        Entry[] grown = Arrays.copyOf(entries, entries.length + 1);
        grown[id] = new Entry(name, function);
        entries = grown;
        return id;
    }

    /**
     * Registers every method of {@code target} annotated with {@link XFunction}: its class's and its
     * superclasses' instance and static methods, public or not, in the order of their function names.
     * An object whose functions are registered already is skipped. Parameters and results convert by
     * type:
     *
     * <table>
     * <caption>Java types of annotated functions</caption>
     * <tr><th>Java type</th><th>as a parameter</th><th>as the result</th></tr>
     * <tr><td>String</td><td>the value's text</td><td>text</td></tr>
     * <tr><td>int, long, double and their boxes; BigDecimal</td><td>the value's number (a box or
     *   BigDecimal is null for an empty value)</td><td>the number's text</td></tr>
     * <tr><td>boolean, Boolean</td><td>a number other than 0</td><td>1 or 0</td></tr>
     * <tr><td>java.util.Date</td><td>the timestamp, in the default time zone</td><td>a timestamp</td></tr>
     * <tr><td>LocalDateTime, LocalDate</td><td>the timestamp, or its day</td><td>a timestamp (at
     *   midnight for a LocalDate)</td></tr>
     * <tr><td>LocalTime</td><td>the time of day</td><td>a time</td></tr>
     * <tr><td>FMText</td><td>the value's styled text</td><td>styled text</td></tr>
     * <tr><td>FMBinary</td><td>a copy of the container data</td><td>container data</td></tr>
     * <tr><td>FMData</td><td>the value itself</td><td>a copy of the value</td></tr>
     * <tr><td>PluginContext</td><td>the call's context (no parameter of the calculation)</td><td></td></tr>
     * <tr><td>an array of a parameter type, last</td><td>all remaining parameters</td><td></td></tr>
     * <tr><td>void</td><td></td><td>the result stays empty</td></tr>
     * </table>
     *
     * A null result leaves empty text.
     *
     * @return the number of functions registered
     * @throws IllegalArgumentException naming the method when one cannot be served; nothing of the
     *         object is registered then
     */
    public synchronized int registerAnnotated(Object target) {
        if (target == null) {
            throw new NullPointerException("target");
        }
        if (target instanceof Class) {
            return registerAnnotatedStatics((Class<?>) target);
        }
        return registerAll(target, annotatedMethods(target.getClass(), false));
    }

    /** Registers the static {@link XFunction} methods of a class, as {@link #registerAnnotated} does. */
    public synchronized int registerAnnotatedStatics(Class<?> type) {
        if (type == null) {
            throw new NullPointerException("type");
        }
        return registerAll(type, annotatedMethods(type, true));
    }

    private int registerAll(Object target, List<Method> methods) {
        if (annotatedTargets.containsKey(target)) {
            return 0;
        }
        // Every method is checked before the first one reaches FileMaker, so a bad signature registers
        // nothing rather than half of the object's functions.
        List<MethodFunction> functions = new ArrayList<MethodFunction>();
        Set<String> names = new HashSet<String>();
        for (Method method : methods) {
            MethodFunction function =
                    MethodFunction.of(Modifier.isStatic(method.getModifiers()) ? null : target, method);
            if (!names.add(function.name)) {
                throw new IllegalArgumentException("Two methods of " + target + " are called \"" + function.name
                                                   + "\"");
            }
            functions.add(function);
        }
        for (MethodFunction function : functions) {
            register(function.name, function.prototype, function.description, function.minParameters,
                    function.maxParameters, function.flags, function);
        }
        annotatedTargets.put(target, Boolean.TRUE);
        return functions.size();
    }

    private static List<Method> annotatedMethods(Class<?> type, boolean staticsOnly) {
        List<Method> found = new ArrayList<Method>();
        Set<String> signatures = new HashSet<String>();
        for (Class<?> current = type; current != null && current != Object.class;
             current = current.getSuperclass()) {
            for (Method method : current.getDeclaredMethods()) {
                if (method.isBridge() || method.isSynthetic() || method.getAnnotation(XFunction.class) == null) {
                    continue;
                }
                if (staticsOnly && !Modifier.isStatic(method.getModifiers())) {
                    continue;
                }
                // A subclass's override wins over the method it overrides.
                String signature = method.getName() + Arrays.toString(method.getParameterTypes());
                if (Modifier.isStatic(method.getModifiers()) || signatures.add(signature)) {
                    found.add(method);
                }
            }
        }
        Collections.sort(found, new Comparator<Method>() {
            @Override
            public int compare(Method a, Method b) {
                return a.getAnnotation(XFunction.class).name().compareTo(b.getAnnotation(XFunction.class).name());
            }
        });
        return found;
    }

    /** The function registered under an id, or null. */
    PluginFunction lookup(short id) {
        Entry[] table = entries;
        return id >= 0 && id < table.length ? table[id].function : null;
    }

    /** The name registered under an id, or null. */
    String nameOf(short id) {
        Entry[] table = entries;
        return id >= 0 && id < table.length ? table[id].name : null;
    }

    /** The number of functions registered. */
    public int size() {
        return entries.length;
    }
}
