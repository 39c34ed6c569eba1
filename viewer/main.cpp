// Entry point: argument checks, the echo of the arguments, then the cell log.
#include <cstdio>

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

}  // namespace

int main(int argc, char* argv[]) {
    if (argc < 6) {
        std::fputs(kUsageBanner, stdout);
        std::fflush(stdout);
        return 0;
    }
    const char* file_name = argv[1];
    minimox = atof_value(argv[2]);
    minimoy = atof_value(argv[3]);
    maximox = atof_value(argv[4]);
    maximoy = atof_value(argv[5]);

    // %g at precision 6 is the console stream's default text for a double.
    std::printf("Archivo skv: %s\n", file_name);
    std::printf("Minimo(x)=%g Minimo(y)=%g\n", minimox, minimoy);
    std::printf("Maximo(x)=%g Maximo(y)=%g\n", maximox, maximoy);
    std::fflush(stdout);

    if (minimox > maximox || minimoy > maximoy) {
        std::fputs("Error. Minimos y maximos inconsistentes. Un minimo no puede ser mayor que un maximo...\n", stdout);
        std::fflush(stdout);
        return 0;
    }
    return read_cell_log(file_name);
}
