<?php
// Support relay of the K-ROVA service utility.
//
// Two copies of the utility meet here, the end user's (user=client) and the
// technician's (user=support). Each request
//
//     support_x.php?user=client|support&data=<kind digit>[$<integer>...]&time=<digits>
//
// leaves the sender's message (the data value) in the sender's mailbox and is
// answered with status 200 and the other side's pending message, if any:
//
//     <body>CR LF<message></body>
//
// Each mailbox holds one message, the sender's latest. A message is handed
// over once (it leaves the mailbox when delivered) and is dropped unread once
// it is older than the age limit. All mailbox work happens under an exclusive
// lock, so simultaneous requests never deliver a message twice. A request that
// is not well-formed gets status 400 and changes nothing. The time value only
// makes every request URL unique, so that no cache on the way answers it.
//
// Install: copy this file to any PHP web server. No other files needed.
// Environment (optional):
//   KROVA_RELAY_DIR      mailbox directory (default: <system temp>/krova-relay)
//   KROVA_RELAY_MAX_AGE  age limit of a message in seconds (default: 60)

const MAX_QUERY_LENGTH = 16384;

function answer(int $status, string $text): void
{
    http_response_code($status);
    header('Content-Type: text/html; charset=ISO-8859-1');
    header('Cache-Control: no-store');
    // With the length given, a client knows the answer is whole before the
    // server closes the connection (some clients otherwise send it again).
    header('Content-Length: ' . strlen($text));
    echo $text;
    exit;
}

function reject(string $what): void
{
    answer(400, "Bad request: $what\r\n");
}

// --- Check the request before touching any mailbox. ---
if (($_SERVER['REQUEST_METHOD'] ?? '') !== 'GET') {
    header('Allow: GET');
    answer(405, "Only GET is supported\r\n");
}
if (strlen($_SERVER['QUERY_STRING'] ?? '') > MAX_QUERY_LENGTH) {
    reject('query too long');
}
$user = $_GET['user'] ?? null;
$data = $_GET['data'] ?? null;
$time = $_GET['time'] ?? null;
if ($user !== 'client' && $user !== 'support') {
    reject('user');
}
// A kind digit, then any number of "$" + integer (a plus sign arrives as %2B).
if (!is_string($data) || preg_match('/^[0-9](?:\$[+-]?[0-9]+)*$/D', $data) !== 1) {
    reject('data');
}
if (!is_string($time) || preg_match('/^[0-9]+$/D', $time) !== 1) {
    reject('time');
}

// --- Mailboxes. ---
$dir = getenv('KROVA_RELAY_DIR') ?: sys_get_temp_dir() . '/krova-relay';
$maxAge = getenv('KROVA_RELAY_MAX_AGE');
$maxAge = is_numeric($maxAge) && (float)$maxAge >= 0 ? (float)$maxAge : 60.0;

if (!is_dir($dir) && !@mkdir($dir, 0700, true) && !is_dir($dir)) {
    answer(500, "Relay storage unavailable\r\n");
}
$lock = @fopen("$dir/relay.lock", 'c');
if ($lock === false || !flock($lock, LOCK_EX)) {
    answer(500, "Relay storage unavailable\r\n");
}

// Leave the sender's message, replacing an undelivered older one. Written to a
// side file and renamed, so a mailbox never holds half a message.
$now = microtime(true);
$own = "$dir/$user.msg";
if (file_put_contents("$own.tmp", sprintf("%.6F\n%s", $now, $data)) === false || !rename("$own.tmp", $own)) {
    answer(500, "Relay storage unavailable\r\n");
}

// Take the other side's message, unless it has waited too long.
$other = $dir . '/' . ($user === 'client' ? 'support' : 'client') . '.msg';
$message = '';
$stored = is_file($other) ? file_get_contents($other) : false;
if ($stored !== false) {
    unlink($other);
    [$storedAt, $text] = explode("\n", $stored, 2) + [1 => ''];
    if ($now - (float)$storedAt <= $maxAge) {
        $message = $text;
    }
}

flock($lock, LOCK_UN);
answer(200, "<body>\r\n$message</body>");
