package com.example.hello;

import com.kelvo.xplug.Plugin;
import com.kelvo.xplug.PluginException;
import com.kelvo.xplug.XFunction;
import java.util.logging.Logger;

/** A small plug-in: a greeting, a sum and a function that refuses bad input with an error code. */
public class HelloPlugin implements Plugin {
    // java.util.logging goes to the plug-in's log file, beside the module's lines.
    private static final Logger LOG = Logger.getLogger("com.example.hello");

    // FileMaker files the functions under this id; the manifest's plugin-options starts with it too.
    @Override
    public String pluginId() {
        return "HELO";
    }

    // The second parameter may be left out (min = 1); it then arrives as null.
    @XFunction(name = "Hello_Greet", prototype = "name { ; greeting }", min = 1,
               description = "Greets a name, with Hello unless a greeting is given")
    public String greet(String name, String greeting) {
        return (greeting == null ? "Hello" : greeting) + ", " + name + "!";
    }

    @XFunction(name = "Hello_Add", prototype = "a ; b")
    public long add(long a, long b) {
        return a + b;
    }

    @XFunction(name = "Hello_Repeat", prototype = "text ; count")
    public String repeat(String text, int count) throws PluginException {
        if (count < 0 || count > 1000) {
            LOG.warning("refusing the count " + count);
            // FileMaker receives the code; the log gets the message.
            throw new PluginException(10, "Hello_Repeat takes a count from 0 to 1000, not " + count);
        }
        StringBuilder repeated = new StringBuilder();
        for (int i = 0; i < count; i++) {
            repeated.append(text);
        }
        return repeated.toString();
    }
}
