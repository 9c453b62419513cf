// Keeps the library non-empty while the simulator grows; removed once it has sources.
