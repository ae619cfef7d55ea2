package com.example.texttools;

import com.kelvo.xplug.Plugin;
import com.kelvo.xplug.XFunction;
import org.apache.commons.codec.digest.DigestUtils;
import org.apache.commons.io.FilenameUtils;
import org.apache.commons.lang3.StringUtils;

/** Three functions, each from a library of Debian's packages merged into the plug-in's jar. */
public class TextToolsPlugin implements Plugin {
    @Override
    public String pluginId() {
        return "TXTL";
    }

    @XFunction(name = "Text_Abbreviate", prototype = "text ; width")
    public String abbreviate(String text, int width) {
        return StringUtils.abbreviate(text, width);
    }

    @XFunction(name = "Text_Extension", prototype = "path")
    public String extension(String path) {
        return FilenameUtils.getExtension(path);
    }

    @XFunction(name = "Text_Sha256", prototype = "text")
    public String sha256(String text) {
        return DigestUtils.sha256Hex(text);
    }
}
