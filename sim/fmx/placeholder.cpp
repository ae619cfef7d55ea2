// Replaced by the value model.
