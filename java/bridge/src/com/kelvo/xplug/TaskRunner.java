package com.kelvo.xplug;

import java.util.concurrent.Callable;
import java.util.concurrent.CountDownLatch;
import java.util.concurrent.ExecutorService;
import java.util.concurrent.Executors;
import java.util.concurrent.ThreadFactory;

/**
 * Runs a plug-in's long task on Java's event thread while FileMaker's thread keeps serving its windows.
 * Call {@link #run} on FileMaker's thread (from a function call): FileMaker's window, as it was at the
 * first function call, is disabled; the task runs on the bridge's own event thread (a dedicated daemon
 * thread, since a headless VM has no AWT event thread); FileMaker's thread runs its message loop until
 * the task ends, however it ends; then the window is enabled again and brought to the front.
 *
 * <p>When FileMaker's window is unknown or belongs to another thread, no loop could serve it: the task
 * still runs on the event thread and the calling thread waits for it without handling messages.
 */
public final class TaskRunner {
    /** The name of the bridge's event thread. */
    public static final String EVENT_THREAD_NAME = "xplug-event-thread";

    private static ExecutorService eventQueue;
    private static volatile Thread eventThread;

    private TaskRunner() {}

    /** A task's result and the number of messages FileMaker's thread handled while it ran. */
    public static final class Completed<T> {
        private final T value;
        private final long messagesHandled;

        Completed(T value, long messagesHandled) {
            this.value = value;
            this.messagesHandled = messagesHandled;
        }

        public T getValue() {
            return value;
        }

        /** Messages the calling thread's loop translated and dispatched while the task ran. */
        public long getMessagesHandled() {
            return messagesHandled;
        }
    }

    /**
     * Runs the task as described above and returns its result; an exception of the task is thrown here
     * on FileMaker's thread, after the window is back. Called on the event thread itself, the task just
     * runs there (waiting for itself would never end).
     */
    public static <T> Completed<T> run(final Callable<T> task) throws Exception {
        if (task == null) {
            throw new NullPointerException("task");
        }
        if (Thread.currentThread() == eventThread) {
            return new Completed<T>(task.call(), 0);
        }
        final long window = PluginBridge._getThreadWindowReference();
        final boolean pump = window != 0
                && PluginBridge._getWindowThreadId(window) == PluginBridge._getCurrentThreadId();
        if (!pump) {
            log("FileMaker's window " + window + " is not this thread's; the task runs without a message loop");
        }
        final CountDownLatch done = new CountDownLatch(1);
        final Object[] result = new Object[1];
        final Throwable[] failure = new Throwable[1];
        final long handledBefore = PluginBridge._getHandledMessageCount();
        if (pump) {
            PluginBridge._enableWindow(window, false);
        }
        try {
            eventQueue().execute(new Runnable() {
                @Override
                public void run() {
                    try {
                        result[0] = task.call();
                    } catch (Throwable thrown) {
                        failure[0] = thrown;
                    } finally {
                        if (pump) {
                            PluginBridge._stopEventLoop(window);
                            // The loop looks at its depth only after a message; this one makes sure it comes.
                            if (!PluginBridge._postWakeMessage(window)) {
                                log("Could not wake FileMaker's thread; its loop ends with its next message");
                            }
                        }
                        done.countDown();
                    }
                }
            });
            if (pump) {
                PluginBridge._startEventLoop(window);
            }
            awaitUninterruptibly(done);
        } finally {
            if (pump) {
                PluginBridge._enableWindow(window, true);
                PluginBridge._setForegroundWindow(window);
            }
        }
        long handled = PluginBridge._getHandledMessageCount() - handledBefore;
        Throwable thrown = failure[0];
        if (thrown instanceof Exception) {
            throw (Exception) thrown;
        }
        if (thrown instanceof Error) {
            throw (Error) thrown;
        }
        if (thrown != null) {
            throw new RuntimeException(thrown);
        }
        @SuppressWarnings("unchecked")
        T value = (T) result[0];
        return new Completed<T>(value, handled);
    }

    // A loop that ended early (WM_QUIT, an error) leaves the task running; its result is still waited for.
    private static void awaitUninterruptibly(CountDownLatch done) {
        boolean interrupted = false;
        while (true) {
            try {
                done.await();
                break;
            } catch (InterruptedException e) {
                interrupted = true;
            }
        }
        if (interrupted) {
            Thread.currentThread().interrupt();
        }
    }

    private static synchronized ExecutorService eventQueue() {
        if (eventQueue == null) {
            eventQueue = Executors.newSingleThreadExecutor(new ThreadFactory() {
                @Override
                public Thread newThread(Runnable runnable) {
                    Thread thread = new Thread(runnable, EVENT_THREAD_NAME);
                    thread.setDaemon(true);
                    eventThread = thread;
                    return thread;
                }
            });
        }
        return eventQueue;
    }

    private static void log(String message) {
        PluginBridge bridge = PluginBridge.current();
        if (bridge != null) {
            bridge.log(message);
        } else {
            System.err.println(message);
        }
    }
}
