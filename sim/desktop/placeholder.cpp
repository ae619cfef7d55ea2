// Replaced by the desktop services.
