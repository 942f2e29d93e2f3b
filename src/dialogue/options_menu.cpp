#include "dialogue/options_menu.h"

namespace rxc {

namespace {

void blankLines(RecordWriter& console, int count) {
  for (int k = 0; k < count; ++k) console.list();
}

}  // namespace

void writeOptionsMenu(RecordWriter& console, std::string_view dimText) {
  // Each statement is one list-directed write; the 80-column records decide
  // where its lines break, so the items must stay exactly as they are.
  blankLines(console, 4);
  console.list({" OPCIONES de resultados que se pueden obtener:"});
  console.list();
  console.list({" A. Las tablas ", dimText, " de maxima probabilidad [moda de la distribucion]",
                "    y/o las tablas ", dimText, " de minima probabilidad."});
  console.list();
  console.list({" B. Las tablas ", dimText, " con probabilidad mayor que un valor L",
                " y menor que un",
                "    valor U. Tanto L como U pueden ser la probabilidad de una tabla ", dimText,
                "    observada,", " la cual habra que introducir [0 <= L < U <= 1]."});
  console.list();
  console.list({" C. Las tablas ", dimText, " con probabilidad mayor o igual que un valor L",
                " y menor", "    o igual que un valor U.",
                " Tanto L como U pueden ser la probabilidad de una", "    tabla ", dimText,
                " observada, la cual habra que introducir [0 <= L <= U <= 1]."});
  blankLines(console, 2);
  console.list({" OBSERVACIONES:"});
  console.list();
  console.list({" * En cada opcion se da el numero de tablas ", dimText, " resultante y, en B y C,",
                "   tambien se da la suma de las probabilidades de todas ellas."});
  console.list();
  console.list({" * En las opciones B y C, del conjunto de tablas ", dimText,
                " resultante, solo se",
                "   escribiran [en el fichero res.txt] las T1 de mayor probabilidad y las",
                "   T2 de menor probabilidad. Esto es util, sobre todo, cuando el numero de",
                "   tablas resultante sea muy grande. Habra que introducir T1 y T2.",
                "      - Si todas las tablas resultantes tienen la misma probabilidad,",
                "        simplemente se escribiran T1+T2 de esas  tablas.",
                "      - Si T1+T2 es mayor que el numero total de tablas resultantes,",
                "        se escribiran todas."});
  console.list();
  console.list({" * Introduciendo valores convenientes de L [o una tabla observada],",
                "   U [o una tabla observada], T1 y T2, se pueden obtener diferentes",
                "   modalidades de resultados [ver informacion adicional del programa]."});
  console.list();
}

}  // namespace rxc
