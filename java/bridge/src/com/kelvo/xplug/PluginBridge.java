package com.kelvo.xplug;

import com.kelvo.xplug.types.FMData;
import java.io.File;
import java.util.jar.Attributes;
import java.util.jar.JarFile;
import java.util.jar.Manifest;

/**
 * The one class the module calls: it loads the plug-in named by the jar's manifest and passes FileMaker's
 * events and function calls on to it. The module creates the shared instance once per process and calls
 * it on FileMaker's thread. No exception ever leaves a method the module calls: each is logged, with its
 * stack trace, to the module's log file.
 */
public final class PluginBridge {
    /** The start-up answer that tells FileMaker not to enable the plug-in. */
    public static final short DO_NOT_ENABLE = -2;
    /** The function-call answer for a failure without a FileMaker error code of its own. */
    public static final short FAILURE = -1;

    /** Script control values for {@link PluginContext#triggerScript}. */
    public static final int SCRIPT_HALT = 0;
    public static final int SCRIPT_EXIT = 1;
    public static final int SCRIPT_RESUME = 2;
    public static final int SCRIPT_PAUSE = 3;

    /** The manifest key that names the plug-in's class. */
    public static final String PLUGIN_CLASS_KEY = "pluginClassName";
    /** The manifest key whose value FileMaker reads the plug-in's id and wishes from. */
    public static final String PLUGIN_OPTIONS_KEY = "plugin-options";
    /** The manifest key that holds the plug-in's version text. */
    public static final String PLUGIN_VERSION_KEY = "plugin-version";

    private static PluginBridge shared;

    private final String bundlePath;
    private final String modulePath;
    private final String jarPath;
    private final String bridgeVersion;
    private final short applicationType;
    private final BridgeLog log;
    private final Attributes manifest;
    // Read once: functions may ask for it on every call, and each lookup of a manifest key interns the key.
    private final String pluginVersion;
    private final Plugin plugin;
    private volatile FunctionRegistry functions;
    // The host's current-environment callback from the latest host call that carried one; evaluations
    // outside a function call need it.
    private volatile long envCallback;

    private PluginBridge(String bundlePathString, String bridgeVersion, short applicationType, String logpath) {
        this.bundlePath = bundlePathString == null ? "" : bundlePathString;
        this.bridgeVersion = bridgeVersion;
        this.applicationType = applicationType;
        this.log = new BridgeLog(logpath);
        LogRouting.install(log);
        int separator = bundlePath.lastIndexOf(';');
        this.modulePath = separator < 0 ? "" : bundlePath.substring(0, separator);
        this.jarPath = separator < 0 ? bundlePath : bundlePath.substring(separator + 1);
        bindNatives();
        this.manifest = readManifest();
        String version = getManifestValue(PLUGIN_VERSION_KEY);
        this.pluginVersion = version == null ? "" : version;
        this.plugin = loadPlugin();
    }

    /**
     * The process's bridge, created by the first call. {@code bundlePathString} is the module file's
     * path, ";" and the extracted jar's path; {@code logpath} the module's log file (empty: standard
     * error).
     */
    public static synchronized PluginBridge sharedInstance(String bundlePathString, String bridgeVersion,
                                                           short applicationType, String logpath) {
        try {
            if (shared == null) {
                shared = new PluginBridge(bundlePathString, bridgeVersion, applicationType, logpath);
            }
        } catch (Throwable failure) {
            new BridgeLog(logpath).error("Could not create the plug-in bridge", failure);
        }
        return shared;
    }

    /** The process's bridge once it exists, else null. */
    static synchronized PluginBridge current() {
        return shared;
    }

    // The module's JNI exports become visible to these classes only once their loader has loaded the
    // module file; it is already in the process, so this binds the loaded instance.
    private void bindNatives() {
        if (modulePath.isEmpty()) {
            log.info("No module path in \"" + bundlePath + "\"; native methods are not bound");
            return;
        }
        try {
            System.load(modulePath);
        } catch (Throwable failure) {
            log.error("Could not bind the native methods of " + modulePath, failure);
        }
    }

    private Attributes readManifest() {
        try (JarFile file = new JarFile(new File(jarPath))) {
            Manifest read = file.getManifest();
            if (read != null) {
                return read.getMainAttributes();
            }
            log.info("The archive " + jarPath + " has no manifest");
        } catch (Throwable failure) {
            log.error("Could not read the manifest of " + jarPath, failure);
        }
        return new Attributes();
    }

    private Plugin loadPlugin() {
        String className = null;
        try {
            className = getManifestValue(PLUGIN_CLASS_KEY);
            if (className == null) {
                log.info("The manifest of " + jarPath + " names no " + PLUGIN_CLASS_KEY);
                return null;
            }
            ClassLoader loader = PluginBridge.class.getClassLoader();
            Class<?> type = Class.forName(className, true, loader);
            if (!Plugin.class.isAssignableFrom(type)) {
                log.info("The plug-in class " + className + " does not implement " + Plugin.class.getName());
                return null;
            }
            return (Plugin) type.getConstructor().newInstance();
        } catch (Throwable failure) {
            log.error("Could not load the plug-in class " + className + " from " + jarPath, failure);
            return null;
        }
    }

    /** A value of the plug-in archive's manifest, trimmed; null when the key is absent or blank. */
    public String getManifestValue(String key) {
        String value;
        try {
            value = manifest.getValue(new Attributes.Name(key));
        } catch (IllegalArgumentException notAName) {
            return null;
        }
        return value == null || value.trim().isEmpty() ? null : value.trim();
    }

    /** The plug-in's version text from the manifest ("plugin-version"), or empty. */
    public String getPluginVersion() {
        return pluginVersion;
    }

    /** The plug-in object, or null when it could not be loaded. */
    public Plugin getPlugin() {
        return plugin;
    }

    public String getBundlePath() {
        return bundlePath;
    }

    public String getModulePath() {
        return modulePath;
    }

    public String getJarPath() {
        return jarPath;
    }

    public String getBridgeVersion() {
        return bridgeVersion;
    }

    /** The host application's type code (0 FMAdvanced, 1 FMPro, 2 Runtime, 3 Server, 4 WPE, 5 Mobile). */
    public short getApplicationType() {
        return applicationType;
    }

    /** The module's log file, or empty when messages go to standard error. */
    public String getLogPath() {
        return log.path();
    }

    long getEnvCallback() {
        return envCallback;
    }

    /** Writes a line to the module's log file. */
    public void log(String message) {
        log.info(message);
    }

    /** Writes a line and the failure's stack trace to the module's log file. */
    public void log(String message, Throwable failure) {
        log.error(message, failure);
    }

    // ---- Calls from the module ---------------------------------------------------------------------

    /** Start-up: the plug-in registers its functions and answers whether it is enabled. */
    public short fmxInit(short apiVersion, String versionString, long instanceID, boolean unsafeCalls,
                         long cStartScript, long cCurrentEnv) {
        envCallback = cCurrentEnv;
        if (plugin == null) {
            log.info("The plug-in could not be loaded; it stays disabled");
            return DO_NOT_ENABLE;
        }
        try {
            String id = plugin.pluginId();
            if (id == null || id.length() != 4) {
                log.info("The plug-in id \"" + id + "\" is not four characters long; the plug-in stays disabled");
                return DO_NOT_ENABLE;
            }
            // FileMaker knows the plug-in by the id its options string starts with and files the
            // functions under the id they are registered with; two ids would split one plug-in in two.
            String options = getManifestValue(PLUGIN_OPTIONS_KEY);
            if (options != null && options.length() >= 4 && !options.startsWith(id)) {
                String optionsId = options.substring(0, 4);
                log.info("The plug-in id \"" + id + "\" of pluginId() differs from \"" + optionsId
                        + "\" at the start of plugin-options; the plug-in stays disabled");
                return DO_NOT_ENABLE;
            }
            FunctionRegistry registry = new FunctionRegistry(this, id);
            functions = registry;
            registry.registerAnnotated(plugin);
            return plugin.init(registry);
        } catch (Throwable failure) {
            log.error("The plug-in failed to start", failure);
            return DO_NOT_ENABLE;
        }
    }

    public void fmxIdle(short idleState, boolean unsafeCalls, long cStartScript, long cCurrentEnv) {
        if (plugin == null) {
            return;
        }
        envCallback = cCurrentEnv;
        try {
            plugin.idle(idleState);
        } catch (Throwable failure) {
            log.error("The plug-in's idle handler failed", failure);
        }
    }

    public void fmxShutdown(boolean unsafeCalls, long cStartScript, long cCurrentEnv) {
        if (plugin == null) {
            return;
        }
        try {
            plugin.shutdown();
        } catch (Throwable failure) {
            log.error("The plug-in's shutdown handler failed", failure);
        }
    }

    public void fmxDoAppPreferences(boolean unsafeCalls, long cStartScript, long cCurrentEnv) {
        if (plugin == null) {
            return;
        }
        envCallback = cCurrentEnv;
        try {
            plugin.preferences();
        } catch (Throwable failure) {
            log.error("The plug-in's preferences failed", failure);
        }
    }

    /** One calculation-function call; returns 0 or the call's FileMaker error code. */
    public short doFunction(short functionID, long[] parameterTokens, long resultHolderCToken,
                            boolean unsafeCalls, long cStartScript, long cCurrentEnv) {
        FunctionRegistry registry = functions;
        PluginFunction function = registry == null ? null : registry.lookup(functionID);
        if (function == null) {
            log.info("No plug-in function has the id " + functionID);
            return FAILURE;
        }
        try {
            int count = parameterTokens == null ? 0 : parameterTokens.length;
            FMData[] parameters = new FMData[count];
            for (int i = 0; i < count; i++) {
                parameters[i] = new FMData(parameterTokens[i]);
            }
            PluginContext context = new PluginContext(this, cStartScript, cCurrentEnv, envCallback);
            return function.invoke(parameters, new FMData(resultHolderCToken), context);
        } catch (PluginException failure) {
            // The function chose this answer; its message is enough, a stack trace would only be noise.
            log.info("The function " + registry.nameOf(functionID) + " returned error " + failure.getCode() + ": "
                     + failure.getMessage());
            return failure.getCode();
        } catch (Throwable failure) {
            log.error("The function " + registry.nameOf(functionID) + " failed", failure);
            return FAILURE;
        }
    }

    void registerWithHost(String pluginId, short functionId, String name, String prototypeText,
                          String description, int minParameters, int maxParameters, int flags) {
        if (description == null || description.trim().isEmpty()) {
            _registerFunction(pluginId, functionId, bundlePath, name, prototypeText, minParameters, maxParameters,
                    flags);
        } else {
            _registerDescribedFunction(pluginId, functionId, name, prototypeText, description, minParameters,
                    maxParameters, flags);
        }
    }

    // ---- Natives of the module ---------------------------------------------------------------------

    private native void _registerFunction(String pluginId, short functionId, String bundlePath, String name,
                                          String prototype, int minParameters, int maxParameters, int flags);

    private native void _registerDescribedFunction(String pluginId, short functionId, String name,
                                                   String prototypeText, String description, int minParameters,
                                                   int maxParameters, int flags);

    // Windows: handles cross as longs; the module reads their low 32 bits.
    static native long _getFrontWindowReference();
    static native long _getThreadWindowReference();
    static native long _getParentWindowReference(long window);
    static native String _getWindowTitle(long window);
    static native void _enableWindow(long window, boolean enable);
    static native long _getWindowThreadId(long window);
    static native boolean _isChildWindow(long window);
    static native long _getCurrentThreadId();
    static native boolean _setForegroundWindow(long window);
    static native long _setWindowParent(long child, long newParent);

    // The clipboard, as raw formats and bytes.
    static native int[] _getClipboardFormatsWin();
    static native byte[] _getClipboardData(int format);
    static native void _setClipboardData(int format, byte[] data);

    // The message loop of FileMaker's thread while a Java task runs.
    static native void _startEventLoop(long window);
    static native void _pumpOneEvent(long window);
    static native void _stopEventLoop(long window);
    // A harmless message to the window, so that a loop waiting for it looks at its depth again.
    static native boolean _postWakeMessage(long window);
    // The messages the calling thread's loops have dispatched so far.
    static native long _getHandledMessageCount();

    /** The clipboard format of UTF-16 text ending in a zero unit. */
    public static final int CF_UNICODETEXT = 13;
    /** The clipboard format of text in the system's ANSI code page ending in a zero byte. */
    public static final int CF_TEXT = 1;

    /** The formats on the clipboard, in the clipboard's order. */
    public static int[] getClipboardFormatsWin() {
        return _getClipboardFormatsWin();
    }

    /** The bytes of one clipboard format; empty when the format is absent. */
    public static byte[] getClipboardData(int format) {
        return _getClipboardData(format);
    }

    /** Replaces the clipboard's contents with one format's bytes. */
    public static void setClipboardData(int format, byte[] data) {
        if (data == null) {
            throw new NullPointerException("data");
        }
        _setClipboardData(format, data);
    }

    /** The clipboard's Unicode text up to its first zero unit; empty when it holds no text. */
    public static String getClipboardText() {
        byte[] bytes = _getClipboardData(CF_UNICODETEXT);
        StringBuilder text = new StringBuilder(bytes.length / 2);
        for (int i = 0; i + 1 < bytes.length; i += 2) {
            char unit = (char) ((bytes[i] & 0xFF) | ((bytes[i + 1] & 0xFF) << 8));
            if (unit == 0) {
                break;
            }
            text.append(unit);
        }
        return text.toString();
    }

    /** Replaces the clipboard's contents with Unicode text (other text formats follow from it). */
    public static void setClipboardText(String text) {
        if (text == null) {
            throw new NullPointerException("text");
        }
        byte[] bytes = new byte[(text.length() + 1) * 2];
        for (int i = 0; i < text.length(); i++) {
            char unit = text.charAt(i);
            bytes[2 * i] = (byte) unit;
            bytes[2 * i + 1] = (byte) (unit >>> 8);
        }
        _setClipboardData(CF_UNICODETEXT, bytes);
    }

    /** FileMaker's front window as it was at the first function call, or 0. */
    public static long getThreadWindowReference() {
        return _getThreadWindowReference();
    }

    /** The window's parent (or owner), 0 when it has none. */
    public static long getParentWindowReference(long window) {
        return _getParentWindowReference(window);
    }

    /** The window's title, at most 255 characters; empty for a window without one. */
    public static String getWindowTitle(long window) {
        return _getWindowTitle(window);
    }

    public static void enableWindow(long window, boolean enable) {
        _enableWindow(window, enable);
    }

    /** The thread that created the window, 0 for no window. */
    public static long getWindowThreadId(long window) {
        return _getWindowThreadId(window);
    }

    public static boolean isChildWindow(long window) {
        return _isChildWindow(window);
    }

    public static long getCurrentThreadId() {
        return _getCurrentThreadId();
    }

    /** Brings the window to the front; false when the system refused. */
    public static boolean setForegroundWindow(long window) {
        return _setForegroundWindow(window);
    }

    /** Places the window under a new parent; a failure is logged by the module. */
    public static void setWindowParent(long child, long newParent) {
        _setWindowParent(child, newParent);
    }
}
