// Windows: a windowed program gets no console signals; closing goes through the
// window, whose close event runs the closing work.
#include "app/ui/termination_signals.h"

void QuitOnTerminationSignals(QCoreApplication&) {}
