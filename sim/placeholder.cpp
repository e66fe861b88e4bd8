// The simulator sources join this library as they are written.
