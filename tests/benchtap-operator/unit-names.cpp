// Compiles the program unit into this test program (the tests call it directly).
#include "benchtap/names.cpp"
