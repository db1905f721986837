<?php
// A small demonstration of what a PHP script sees when Tamsel runs it.
session_start();
$_SESSION['visits'] = ($_SESSION['visits'] ?? 0) + 1;
function show(array $values): void {
    if (!$values) { echo "<p><i>(none)</i></p>\n"; return; }
    echo "<table border=\"1\" cellpadding=\"3\">\n";
    foreach ($values as $name => $value) {
        $text = is_scalar($value) ? (string)$value : json_encode($value);
        echo '<tr><td>' . htmlspecialchars((string)$name) . '</td><td>' . htmlspecialchars($text) . "</td></tr>\n";
    }
    echo "</table>\n";
}
?>
<!DOCTYPE html>
<html lang="en">
<head><meta charset="utf-8"><title>Tamsel PHP demo</title></head>
<body style="font-family: sans-serif; max-width: 60em; margin: 2em auto;">
<h1>PHP demo</h1>
<p>PHP <?= htmlspecialchars(PHP_VERSION) ?> through CGI. You have opened this page
<strong><?= (int)$_SESSION['visits'] ?></strong> time(s) in this PHP session.</p>
<form method="post" action="/demo.php?from=form">
  <label>Name: <input type="text" name="name"></label>
  <label>Colour: <input type="text" name="colour"></label>
  <input type="submit" value="Post">
</form>
<h2>$_GET</h2>
<?php show($_GET); ?>
<h2>$_POST</h2>
<?php show($_POST); ?>
<h2>$_SERVER</h2>
<?php show($_SERVER); ?>
<p><a href="/">Back</a></p>
</body>
</html>
