// Replaced as the module grows.
