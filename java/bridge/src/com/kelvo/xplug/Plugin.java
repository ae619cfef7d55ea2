package com.kelvo.xplug;

/**
 * A plug-in's Java side. The bridge creates one instance per process from the class that the jar
 * manifest's {@code pluginClassName} names (a public class with a public no-argument constructor) and
 * hands it FileMaker's lifecycle events on FileMaker's thread. An exception thrown by a hook is logged
 * by the bridge and never reaches FileMaker.
 */
public interface Plugin {
    /** The plug-in's four-character id, under which FileMaker files its functions. */
    String pluginId();

    /**
     * Called at every start-up of the plug-in, after the bridge has registered the plug-in object's
     * {@link XFunction} methods. Register further functions here: annotated methods of other objects
     * with {@link FunctionRegistry#registerAnnotated}, or plain {@link PluginFunction}s.
     *
     * @return 0 to be enabled, or {@link PluginBridge#DO_NOT_ENABLE} to stay disabled
     */
    default short init(FunctionRegistry functions) throws Exception {
        return 0;
    }

    /** FileMaker's idle time; the state is FileMaker's idle state code. */
    default void idle(int idleState) throws Exception {}

    /** The user asked for the plug-in's preferences. */
    default void preferences() throws Exception {}

    /** FileMaker shuts the plug-in down; a later start-up calls {@link #init} again. */
    default void shutdown() throws Exception {}
}
