# Functions that build a plug-in jar with its exact manifest and pack it onto a module image.
