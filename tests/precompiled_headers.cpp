// Compiles the suites' precompiled header once; every suite reuses it
// instead of parsing the Qt headers again (see tests/CMakeLists.txt).
