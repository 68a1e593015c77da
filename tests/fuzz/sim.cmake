# vtarget fuzz target: filled in by the board library work.
