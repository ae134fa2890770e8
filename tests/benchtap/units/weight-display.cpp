// Benchtap is a program, not a library: its units are compiled into this test program one by one.
#include "benchtap/weight-display.cpp"
