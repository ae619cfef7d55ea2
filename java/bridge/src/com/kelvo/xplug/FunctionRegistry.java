package com.kelvo.xplug;

import java.util.ArrayList;
import java.util.List;

/**
 * The plug-in's calculation functions. Each registration is passed on to FileMaker at once and gets the
 * next function id; FileMaker hands that id back on every call. Registration happens during
 * {@link Plugin#init} on FileMaker's thread; a new start-up begins a new table.
 */
public final class FunctionRegistry {
    /** The function may be used in every FileMaker calculation dialog and on every host. */
    public static final int DISPLAY_IN_ALL_DIALOGS = 0x0000FF00;
    /** The function may also be evaluated on a server host. */
    public static final int MAY_EVALUATE_ON_SERVER = 0x00000001;

    private final PluginBridge bridge;
    private final String pluginId;
    private final List<Entry> entries = new ArrayList<Entry>();

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
     * @param minParameters the least number of parameters, -1 for no limit
     * @param maxParameters the most parameters, -1 for no limit
     * @param flags where the function is available, for example {@link #DISPLAY_IN_ALL_DIALOGS}
     * @return the function's id
     */
    public synchronized short register(String name, String prototype, int minParameters, int maxParameters,
                                       int flags, PluginFunction function) {
        if (name == null || name.isEmpty()) {
            throw new IllegalArgumentException("A function needs a name");
        }
        if (function == null) {
            throw new NullPointerException("function");
        }
        if (entries.size() >= Short.MAX_VALUE) {
            throw new IllegalStateException("Too many functions");
        }
        short id = (short) entries.size();
        String prototypeText = prototype == null || prototype.trim().isEmpty()
                ? name : name + "( " + prototype + " )";
        bridge.registerWithHost(pluginId, id, name, prototypeText, minParameters, maxParameters, flags);
        entries.add(new Entry(name, function));
        return id;
    }

    /** The function registered under an id, or null. */
    synchronized PluginFunction lookup(short id) {
        return id >= 0 && id < entries.size() ? entries.get(id).function : null;
    }

    /** The name registered under an id, or null. */
    synchronized String nameOf(short id) {
        return id >= 0 && id < entries.size() ? entries.get(id).name : null;
    }

    /** The number of functions registered. */
    public synchronized int size() {
        return entries.size();
    }
}
