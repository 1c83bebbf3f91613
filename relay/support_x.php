<?php
// Support relay of the K-ROVA service utility.
//
// Two copies of the utility meet here, the end user's (user=client) and the
// technician's (user=support). Each request
//
//     <session path>/support_x.php?user=client|support&data=<kind digit>[$<0..255>...]&time=<digits>
//
// leaves the sender's message (the data value) for the other side and is
// answered with status 200 and at most one message of the other side:
//
//     <body>CR LF<message></body>
//
// Sessions. The path in front of support_x.php names the session: the plain
// script (http://host/support_x.php) is one shared session for a trial; each
// code (http://host/s/7Q4K-2X9F/support_x.php) is a private pair of queues.
// A code is 8 to 32 characters of Crockford's base 32 (digits and capitals
// without I, L, O and U), read case-blind with dashes ignored and O, I, L
// taken as 0, 1, 1, so a code read out over the phone still finds its session.
// Unknown paths get 404. Sessions unused for a day are removed.
//
// Delivery. Each side has a queue of messages waiting for the other side.
// One-shot messages (settings request 1, settings 3, chat 4, stop 5) are never
// replaced or dropped by a later message; periodic ones (the support side's
// state request 0, the client's state 2) only matter in their latest form, so a
// new one replaces the sender's undelivered older one. Each request gets one
// message of the other side, each message is delivered exactly once, and the
// one-shots arrive in the order they were sent. When one-shots and a periodic
// message wait together, the oldest one-shot goes first: it is what somebody
// waits for (the answer to a settings request, new settings, a chat line),
// while the periodic message only says how things are now, loses nothing by
// waiting a poll and is replaced by a fresher one meanwhile anyway; sent
// first, it would hold every one-shot back by one poll. A queue keeps at most MAX_QUEUED
// messages and MAX_QUEUED_BYTES bytes; past that the oldest periodic message
// goes, and a one-shot that still does not fit is refused with 503, which the
// sender's program shows as a failed exchange, instead of being lost. Messages
// older than the age limit are dropped unread. All work on a session happens
// under that session's exclusive lock, so simultaneous requests never deliver
// a message twice.
//
// Checks. A request that is not well-formed (a value outside 0..255, a kind
// its sender never sends, more values than its kind carries: a state 280, a
// settings record 540, a chat line 255, a request or stop none) gets status
// 400 and changes nothing. The mailbox
// directory must belong to the user the relay runs as, have mode 0700 and not
// be a symbolic link; otherwise every request gets 500 and nothing is touched.
//
// Bounds. Nobody can fill the server through the relay: each session stores
// at most 2 x MAX_QUEUED_BYTES, and a new session is refused with 503 while
// MAX_SESSIONS sessions live or one more would let them store more than
// MAX_BYTES together (the sessions are counted again every few seconds, and
// each new one counted at once). A session whose messages have all expired and that saw no
// request for the session time to live (default five minutes) is swept; the
// next request with its code simply starts it again.
// Files are created exclusively, never through a link. The time value only
// makes every request URL unique, so that no cache on the way answers it.
//
// Install: see the README (php -S with router.php; Apache or nginx with a
// rewrite rule). Environment (optional):
//   KROVA_RELAY_DIR          mailbox directory (default: <system temp>/krova-relay)
//   KROVA_RELAY_MAX_AGE      age limit of a message in seconds (default: 60)
//   KROVA_RELAY_SESSION_TTL  seconds after which an unused session goes (default: 300)
//   KROVA_RELAY_MAX_SESSIONS sessions that may live at once (default: 4000)
//   KROVA_RELAY_MAX_BYTES    bytes all sessions may store together (default: 268435456)

umask(0077);

const MAX_QUERY_LENGTH = 16384;
const MAX_QUEUED = 64;
const MAX_QUEUED_BYTES = 32768;
const SWEEP_INTERVAL = 60;
const USAGE_INTERVAL = 5;
// The values each kind carries at most.
const MAX_VALUES = ['0' => 0, '1' => 0, '2' => 280, '3' => 540, '4' => 255, '5' => 0];
const CODE_ALPHABET = '0123456789ABCDEFGHJKMNPQRSTVWXYZ';

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

function unavailable(): void
{
    answer(500, "Relay storage unavailable\r\n");
}

// A setting from the process environment, or from the web server's
// configuration (Apache's SetEnv, nginx's fastcgi_param).
function relay_setting(string $name)
{
    $value = getenv($name);
    if ($value === false && isset($_SERVER[$name]) && is_string($_SERVER[$name])) {
        $value = $_SERVER[$name];
    }
    return $value;
}

// The session a request path names: 'trial' for the plain script,
// 's-<CODE>' for a code; null for anything else.
function relay_session(string $path, string $base): ?string
{
    if ($base !== '' && strncmp($path, $base . '/', strlen($base) + 1) !== 0) {
        return null;
    }
    $rest = substr($path, strlen($base));
    if ($rest === '/support_x.php') {
        return 'trial';
    }
    if (preg_match('#^/s/([0-9A-Za-z-]{8,40})/support_x\.php$#D', $rest, $m) !== 1) {
        return null;
    }
    $code = strtr(strtoupper(str_replace('-', '', $m[1])), 'OIL', '011');
    if (strlen($code) < 8 || strlen($code) > 32 || strspn($code, CODE_ALPHABET) !== strlen($code)) {
        return null;
    }
    return "s-$code";
}

// Whether a message of this sender and kind only matters in its latest form.
function is_periodic(string $user, string $kind): bool
{
    return ($user === 'support' && $kind === '0') || ($user === 'client' && $kind === '2');
}

// The directory exists as a real directory of ours, mode 0700.
function is_private_dir(string $dir): bool
{
    clearstatcache(true, $dir);
    if (is_link($dir) || !is_dir($dir)) {
        return false;
    }
    $st = @lstat($dir);
    return $st !== false && ($st['mode'] & 0777) === 0700
        && (!function_exists('posix_geteuid') || $st['uid'] === posix_geteuid());
}

function make_private_dir(string $dir): bool
{
    if (!file_exists($dir) && !is_link($dir)) {
        $old = umask(0077);
        @mkdir($dir, 0700);
        umask($old);
    }
    return is_private_dir($dir);
}

// Opens a session's lock file, creating it exclusively when it is new.
function open_lock(string $path)
{
    $handle = @fopen($path, 'x');
    if ($handle === false && !is_link($path) && is_file($path)) {
        $handle = @fopen($path, 'r');
    }
    return $handle;
}

// Replaces a file's content all at once: a new file created exclusively
// next to it, then renamed over it (rename replaces a link, never follows it).
function replace_file(string $path, string $content): bool
{
    $temp = $path . '.' . bin2hex(random_bytes(8));
    $handle = @fopen($temp, 'x');
    if ($handle === false) {
        return false;
    }
    $ok = fwrite($handle, $content) === strlen($content);
    $ok = fclose($handle) && $ok;
    if (!$ok || !rename($temp, $path)) {
        @unlink($temp);
        return false;
    }
    return true;
}

// Locks a session: its lock file, created when new, locked and still the
// file at that name. A sweep may remove the session between the open and the
// lock; a lock held on a removed file guards nothing (a request after the
// sweep locks a new file), so then it starts again.
function lock_session(string $sessionDir)
{
    for ($try = 0; $try < 3; $try++) {
        $lock = make_private_dir($sessionDir) ? open_lock("$sessionDir/lock") : false;
        if ($lock === false) {
            continue;
        }
        if (!flock($lock, LOCK_EX)) {
            fclose($lock);
            return false;
        }
        clearstatcache(true, "$sessionDir/lock");
        $held = fstat($lock);
        $named = @lstat("$sessionDir/lock");
        if ($held !== false && $named !== false && $held['dev'] === $named['dev'] && $held['ino'] === $named['ino']) {
            return $lock;
        }
        fclose($lock);
    }
    return false;
}

// The time a session was last used: its state file's, or its folder's.
function session_used(string $sessionDir)
{
    clearstatcache(true, "$sessionDir/state");
    return @filemtime(is_file("$sessionDir/state") ? "$sessionDir/state" : $sessionDir);
}

function remove_session(string $sessionDir): void
{
    // Everything in it, a temporary file that a stopped worker left included.
    foreach (scandir($sessionDir) ?: [] as $entry) {
        if ($entry !== '.' && $entry !== '..') {
            @unlink("$sessionDir/$entry");
        }
    }
    @rmdir($sessionDir);
}

// Whether a session still holds a message younger than the age limit.
function holds_live_message(string $sessionDir, float $now, float $maxAge): bool
{
    $stored = json_decode((string)@file_get_contents("$sessionDir/state"), true);
    foreach (is_array($stored) ? $stored : [] as $queue) {
        foreach (is_array($queue) ? $queue : [] as $m) {
            if (is_array($m) && isset($m['at']) && $now - (float)$m['at'] <= $maxAge) {
                return true;
            }
        }
    }
    return false;
}

// The sessions that live, counted again when the last count is older than
// USAGE_INTERVAL seconds (a new session is rare, a scan of thousands of them
// is not free).
function live_sessions(string $sessions, float $now): int
{
    $file = "$sessions/.usage";
    clearstatcache(true, $file);
    if (is_file($file) && !is_link($file)) {
        $known = json_decode((string)file_get_contents($file), true);
        if (is_array($known) && isset($known['at'], $known['sessions']) && $now - (float)$known['at'] < USAGE_INTERVAL) {
            return (int)$known['sessions'];
        }
    }
    $count = 0;
    foreach (scandir($sessions) ?: [] as $entry) {
        if ($entry[0] !== '.' && is_dir("$sessions/$entry") && !is_link("$sessions/$entry")) {
            $count++;
        }
    }
    replace_file($file, json_encode(['at' => $now, 'sessions' => $count]));
    return $count;
}

function count_new_session(string $sessions, float $now, int $live): void
{
    $file = "$sessions/.usage";
    $known = json_decode((string)@file_get_contents($file), true);
    $at = is_array($known) && isset($known['at']) ? (float)$known['at'] : $now;
    replace_file($file, json_encode(['at' => $at, 'sessions' => $live + 1]));
}

// Removes sessions nobody used for the time to live and whose messages have
// all expired, at most every SWEEP_INTERVAL seconds. A session in use right
// now is left alone.
function sweep(string $sessions, float $now, float $ttl, float $maxAge): void
{
    $marker = "$sessions/.swept";
    clearstatcache(true, $marker);
    $last = is_file($marker) && !is_link($marker) ? filemtime($marker) : 0;
    if ($last !== false && $now - $last < SWEEP_INTERVAL) {
        return;
    }
    if (!is_file($marker)) {
        $h = @fopen($marker, 'x');
        if ($h !== false) {
            fclose($h);
        }
    } elseif (!is_link($marker)) {
        @touch($marker);
    }
    foreach (scandir($sessions) ?: [] as $entry) {
        if ($entry[0] === '.') { // ., .. and the sweep's marker
            continue;
        }
        $dir = "$sessions/$entry";
        if (is_link($dir) || !is_dir($dir)) {
            continue;
        }
        $used = session_used($dir);
        if ($used === false || $now - $used < $ttl) {
            continue;
        }
        $lock = open_lock("$dir/lock");
        if ($lock !== false && flock($lock, LOCK_EX | LOCK_NB)) {
            // A request may have used it between the look above and the lock.
            $used = session_used($dir);
            if ($used !== false && $now - $used >= $ttl && !holds_live_message($dir, $now, $maxAge)) {
                remove_session($dir);
            }
            flock($lock, LOCK_UN);
        }
        if ($lock !== false) {
            fclose($lock);
        }
    }
}

// --- Check the request before touching any mailbox. ---
if (($_SERVER['REQUEST_METHOD'] ?? '') !== 'GET') {
    header('Allow: GET');
    answer(405, "Only GET is supported\r\n");
}
$path = rawurldecode(parse_url($_SERVER['REQUEST_URI'] ?? '/', PHP_URL_PATH) ?: '/');
$base = defined('KROVA_RELAY_BASE')
    ? KROVA_RELAY_BASE
    : rtrim(str_replace('\\', '/', dirname($_SERVER['SCRIPT_NAME'] ?? '/support_x.php')), '/');
$session = relay_session($path, $base);
if ($session === null) {
    answer(404, "No such session\r\n");
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
// A kind digit, then any number of "$" + a value of 0 to 255 (a plus sign
// arrives as %2B).
if (!is_string($data) || preg_match('/^[0-9](?:\$\+?0*(?:25[0-5]|2[0-4][0-9]|1?[0-9]?[0-9]))*$/D', $data) !== 1) {
    reject('data');
}
// Kinds each side sends: the client its state, settings and chat; the
// support side its requests, settings, chat and stop.
if (strpos($user === 'client' ? '234' : '01345', $data[0]) === false) {
    reject('kind');
}
if (substr_count($data, '$') > MAX_VALUES[$data[0]]) {
    reject('more values than the kind carries');
}
if (!is_string($time) || preg_match('/^[0-9]+$/D', $time) !== 1) {
    reject('time');
}

// --- Storage. ---
$dir = relay_setting('KROVA_RELAY_DIR') ?: sys_get_temp_dir() . '/krova-relay';
$maxAge = relay_setting('KROVA_RELAY_MAX_AGE');
$maxAge = is_numeric($maxAge) && (float)$maxAge >= 0 ? (float)$maxAge : 60.0;
$ttl = relay_setting('KROVA_RELAY_SESSION_TTL');
$ttl = is_numeric($ttl) && (float)$ttl >= 0 ? (float)$ttl : 300.0;
$maxSessions = relay_setting('KROVA_RELAY_MAX_SESSIONS');
$maxSessions = is_numeric($maxSessions) && (int)$maxSessions >= 0 ? (int)$maxSessions : 4000;
$maxBytes = relay_setting('KROVA_RELAY_MAX_BYTES');
$maxBytes = is_numeric($maxBytes) && (int)$maxBytes >= 0 ? (int)$maxBytes : 256 * 1024 * 1024;

if (!make_private_dir($dir)) {
    unavailable();
}
$sessions = "$dir/sessions";
if (!make_private_dir($sessions)) {
    unavailable();
}
$now = microtime(true);
sweep($sessions, $now, $ttl, $maxAge);

$sessionDir = "$sessions/$session";
clearstatcache(true, $sessionDir);
if (!is_dir($sessionDir)) {
    $live = live_sessions($sessions, $now);
    if ($live >= $maxSessions || ($live + 1) * 2 * MAX_QUEUED_BYTES > $maxBytes) {
        answer(503, "Relay full: no new session now\r\n");
    }
    // Counted at once, so that a burst of new codes meets the bound before
    // the next count.
    count_new_session($sessions, $now, $live);
}
$lock = lock_session($sessionDir);
if ($lock === false) {
    unavailable();
}

$stateFile = "$sessionDir/state";
$queues = ['client' => [], 'support' => []];
if (is_file($stateFile) && !is_link($stateFile)) {
    $stored = json_decode((string)file_get_contents($stateFile), true);
    if (is_array($stored)) {
        foreach (['client', 'support'] as $side) {
            if (isset($stored[$side]) && is_array($stored[$side])) {
                $queues[$side] = $stored[$side];
            }
        }
    }
}
// Messages that waited too long go unread.
foreach ($queues as $side => $queue) {
    $queues[$side] = array_values(array_filter($queue, function ($m) use ($now, $maxAge) {
        return is_array($m) && isset($m['at'], $m['data']) && $now - (float)$m['at'] <= $maxAge;
    }));
}

// Leave the sender's message.
$other = $user === 'client' ? 'support' : 'client';
$periodic = is_periodic($user, $data[0]);
$queue = $queues[$user];
if ($periodic) {
    $queue = array_values(array_filter($queue, function ($m) use ($user) {
        return !is_periodic($user, $m['data'][0]);
    }));
}
$queue[] = ['at' => $now, 'data' => $data];
$bytes = function (array $q): int {
    return array_sum(array_map(function ($m) {
        return strlen($m['data']);
    }, $q));
};
while (count($queue) > MAX_QUEUED || $bytes($queue) > MAX_QUEUED_BYTES) {
    $oldestPeriodic = null;
    foreach ($queue as $i => $m) {
        if (is_periodic($user, $m['data'][0])) {
            $oldestPeriodic = $i;
            break;
        }
    }
    if ($oldestPeriodic === null) {
        // Only one-shots wait, the new one among them: it is refused.
        flock($lock, LOCK_UN);
        answer(503, "Relay queue full\r\n");
    }
    array_splice($queue, $oldestPeriodic, 1);
}
$queues[$user] = $queue;

// Take the other side's oldest one-shot, or else its periodic message.
$message = '';
if ($queues[$other] !== []) {
    $take = 0;
    foreach ($queues[$other] as $i => $m) {
        if (!is_periodic($other, $m['data'][0])) {
            $take = $i;
            break;
        }
    }
    $message = array_splice($queues[$other], $take, 1)[0]['data'];
}

if (!replace_file($stateFile, json_encode($queues))) {
    flock($lock, LOCK_UN);
    unavailable();
}
flock($lock, LOCK_UN);
answer(200, "<body>\r\n$message</body>");
