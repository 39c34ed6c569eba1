// Entry point: argument checks, the echo of the arguments, then the cell log.
#include <csignal>
#include <cstdio>
#include <cstdlib>

#include "viewer.h"

namespace {

const char kUsageBanner[] =
    "--------------------------------------------------------------\n"
    "Programa para mostrar la funcion de cada celda de la salida de skervan\n"
    "de una simulaicon con Vorq. Soporta archivos de hasta 400 columnas\n"
    "por infinitas filas. Las salidas de Skervan deben ser con parametro\n"
    "-fn para que quede sin lineas ni textos informativos.\n"
    "Pelmorix 1.0, visor de celdas escrito por el equipo de Pelmorix.\n"
    "--------------------------------------------------------------\n\n\n"
    "No se especificarn archivos. \nSintaxis: Pelmorix file.skv minimox minimoy maximox maximoy\n"
    "Ejemplo:> Pelmorix file.skv 0 -10.5 650.2 22\n"
    "Donde 0 es el minimo valor que toma el eje x, -10 el minimo del eje y, \n"
    "650.2 el maximo del eje x, 22 el maximo del eje y\n";

// A limit's text: %g at precision 6, the console stream's default for a
// double. A limit is never a NaN: the conversion reads no "nan".
const char* limit_text(double value, char (&buffer)[32]) {
    std::snprintf(buffer, sizeof buffer, "%g", value);
    return buffer;
}

}  // namespace

int main(int argc, char* argv[]) {
#ifdef SIGPIPE
    // Output to a pipe whose reader has gone (`pelmorix ... | head -1`)
    // just fails: the run goes on and ends with its own status.
    std::signal(SIGPIPE, SIG_IGN);
#endif
    // On every way out but a signal; once, however often main is entered.
    static const bool registered = std::atexit(say_console_failure) == 0;
    (void)registered;
    if (argc < 6) {
        std::fputs(kUsageBanner, stdout);
        flush_console();
        return 0;
    }
    const char* file_name = argv[1];
    minimox = atof_value(argv[2]);
    minimoy = atof_value(argv[3]);
    maximox = atof_value(argv[4]);
    maximoy = atof_value(argv[5]);

    char text[4][32];
    std::printf("Archivo skv: %s\n", file_name);
    std::printf("Minimo(x)=%s Minimo(y)=%s\n", limit_text(minimox, text[0]), limit_text(minimoy, text[1]));
    std::printf("Maximo(x)=%s Maximo(y)=%s\n", limit_text(maximox, text[2]), limit_text(maximoy, text[3]));
    flush_console();

    if (minimox > maximox || minimoy > maximoy) {
        std::fputs("Error. Minimos y maximos inconsistentes. Un minimo no puede ser mayor que un maximo...\n", stdout);
        flush_console();
        return 0;
    }
    return read_cell_log(file_name);
}
