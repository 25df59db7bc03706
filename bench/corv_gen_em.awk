# Writes an ASCII Electromask file of n flashes (awk -v n=1000000 -f corv_gen_em.awk):
# rectangles of varied size and angle scattered over 100 x 100 mils, in hundredths of a
# mil, one record a line, from a fixed pseudo-random sequence so every run is the same.
function next_random(limit) {
  seed = (seed * 1103515245 + 12345) % 2147483648
  return int(seed / 65536) % limit
}
BEGIN {
  if (n == "") n = 1000000
  seed = 1
  printf "<\"corv_bench: %d flashes\"\r\n", n
  for (i = 0; i < n; i++) {
    printf "X%dY%dW%dV%dU%dS\r\n", next_random(1000000), next_random(1000000),
           10 + next_random(5000), 10 + next_random(5000), next_random(8) * 450
  }
  printf "Z"
}
