<?php
// Router for PHP's built-in web server:
//
//     php -S 0.0.0.0:8080 -t relay relay/router.php
//
// serves the trial session at /support_x.php and the private sessions at
// /s/<code>/support_x.php from the one script; every other path gets 404.
// (A full web server does the same with a rewrite rule, see the README.)
$path = rawurldecode(parse_url($_SERVER['REQUEST_URI'] ?? '/', PHP_URL_PATH) ?: '/');
if ($path === '/support_x.php' || preg_match('#^/s/[^/]+/support_x\.php$#D', $path) === 1) {
    define('KROVA_RELAY_BASE', '');
    require __DIR__ . '/support_x.php';
    return true;
}
http_response_code(404);
header('Content-Type: text/plain');
echo "Not found\r\n";
return true;
